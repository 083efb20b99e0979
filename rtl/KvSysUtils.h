// Run-time library basics shared by every layer: the exception classes and
// the rounding rules. Everything here is Qt-free and has no dependencies.
#pragma once

#include <cmath>
#include <cstdint>
#include <exception>
#include <string>

using HRESULT = int32_t;

// The base exception: carries a UTF-8 message.
class Exception : public std::exception {
public:
  Exception() = default;
  explicit Exception(std::string msg) : FMessage(std::move(msg)) {}
  const char* what() const noexcept override { return FMessage.c_str(); }
  const std::string& Message() const { return FMessage; }
  void SetMessage(std::string msg) { FMessage = std::move(msg); }

private:
  std::string FMessage;
};

// The silent abort: cancelled work. Its message is empty and nobody shows it.
class EAbort : public Exception {
public:
  EAbort() = default;
  explicit EAbort(std::string msg) : Exception(std::move(msg)) {}
};

class EOutOfMemory : public Exception {
public:
  using Exception::Exception;
};

class EOutOfResources : public EOutOfMemory {
public:
  using EOutOfMemory::EOutOfMemory;
};

class EArgumentException : public Exception {
public:
  using Exception::Exception;
};

class EInvalidPointer : public Exception {
public:
  using Exception::Exception;
};

class EAssertionFailed : public Exception {
public:
  using Exception::Exception;
};

// An operating-system error with its code.
class EOSError : public Exception {
public:
  EOSError(uint32_t code, std::string msg) : Exception(std::move(msg)), ErrorCode(code) {}
  uint32_t ErrorCode = 0;
};

// A component-model error carrying an HRESULT.
class EOleSysError : public Exception {
public:
  EOleSysError(std::string msg, HRESULT code, int helpContext = 0)
      : Exception(std::move(msg)), ErrorCode(code), HelpContext(helpContext) {}
  HRESULT ErrorCode = 0;
  int HelpContext = 0;
};

// Raises the silent abort.
[[noreturn]] inline void Abort() { throw EAbort(); }

// Round to nearest with halves to even (the default floating-point mode).
inline int64_t Round(double v) { return static_cast<int64_t>(std::nearbyint(v)); }
inline int64_t Trunc(double v) { return static_cast<int64_t>(std::trunc(v)); }
inline int64_t Floor(double v) { return static_cast<int64_t>(std::floor(v)); }
inline int64_t Ceil(double v) { return static_cast<int64_t>(std::ceil(v)); }
