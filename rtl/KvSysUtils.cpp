#include "rtl/KvSysUtils.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

std::string ClassNameOf(const TObject* AObject) {
  if (!AObject) return "nil";
  const char* raw = typeid(*AObject).name();
  int status = 0;
  char* name = abi::__cxa_demangle(raw, nullptr, nullptr, &status);
  std::string result = status == 0 && name ? name : raw;
  std::free(name);
  return result;
}
