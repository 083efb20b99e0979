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

std::string ChangeFileExt(const std::string& AFileName, const std::string& AExt) {
  const size_t pos = AFileName.find_last_of("./");
  if (pos != std::string::npos && AFileName[pos] == '.') return AFileName.substr(0, pos) + AExt;
  return AFileName + AExt;
}

std::string ExtractFileName(const std::string& AFileName) {
  const size_t pos = AFileName.find_last_of('/');
  return pos == std::string::npos ? AFileName : AFileName.substr(pos + 1);
}

std::string ExtractFilePath(const std::string& AFileName) {
  const size_t pos = AFileName.find_last_of('/');
  return pos == std::string::npos ? std::string() : AFileName.substr(0, pos + 1);
}

std::string ExtractFileExt(const std::string& AFileName) {
  const size_t pos = AFileName.find_last_of("./");
  if (pos != std::string::npos && AFileName[pos] == '.') return AFileName.substr(pos);
  return std::string();
}
