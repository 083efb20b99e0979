// What every fuzz target treats as a finding besides crashes and sanitizer
// reports: an exception that is not one of the project's own classes, or one
// without a message.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <exception>

#include "rtl/KvSysUtils.h"

template <class F>
void KvFuzzGuard(F&& AAction) {
  try {
    AAction();
  } catch (const Exception& e) {
    if (e.Message().empty()) {
      std::fprintf(stderr, "finding: exception with an empty message\n");
      std::abort();
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "finding: foreign exception: %s\n", e.what());
    std::abort();
  } catch (...) {
    std::fprintf(stderr, "finding: unknown exception\n");
    std::abort();
  }
}
