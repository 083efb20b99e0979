// Run-time library basics shared by every layer: the exception classes, the
// rounding rules and the file-name helpers. Everything here is Qt-free and
// has no dependencies.
#pragma once

#include <cmath>
#include <cstdint>
#include <exception>
#include <functional>
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

// Integer division by zero, and an integer result out of range.
class EDivByZero : public Exception {
public:
  using Exception::Exception;
};

class EIntOverflow : public Exception {
public:
  using Exception::Exception;
};

// A list or container asked for something it does not hold.
class EListError : public Exception {
public:
  using Exception::Exception;
};

// A named property that an object does not have.
class EPropertyError : public Exception {
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

// Cancel flags: a plain bool that one thread sets and workers poll. Both
// sides go through these so every poll really reads memory and the exchange
// is free of data races.
inline bool Aborted(const bool* AAbort) { return AAbort != nullptr && __atomic_load_n(AAbort, __ATOMIC_RELAXED); }
inline void RequestAbort(bool* AAbort) { __atomic_store_n(AAbort, true, __ATOMIC_RELAXED); }

// Raises the silent abort.
[[noreturn]] inline void Abort() { throw EAbort(); }

// Round to nearest with halves to even (the default floating-point mode).
inline int64_t Round(double v) { return static_cast<int64_t>(std::nearbyint(v)); }
inline int64_t Trunc(double v) { return static_cast<int64_t>(std::trunc(v)); }
inline int64_t Floor(double v) { return static_cast<int64_t>(std::floor(v)); }
inline int64_t Ceil(double v) { return static_cast<int64_t>(std::ceil(v)); }

// The root of the persistent object hierarchies: a polymorphic base so that
// event senders can be handed around and recognised with dynamic_cast.
class TObject {
public:
  virtual ~TObject() = default;
};

// The class name of an object as messages show it; "nil" for none.
std::string ClassNameOf(const TObject* AObject);

// A persistent object copies its state from another one of a compatible kind.
// Assign asks the source to copy itself into this object (AssignTo); when
// neither side knows the other, the copy fails with "Cannot assign a <source
// class> to a <destination class>".
class TPersistent : public TObject {
public:
  virtual void Assign(const TPersistent* Source) {
    if (Source) {
      Source->AssignTo(this);
      return;
    }
    AssignError(nullptr, this);
  }

protected:
  virtual void AssignTo(TPersistent* Dest) const { AssignError(this, Dest); }
  [[noreturn]] static void AssignError(const TObject* Source, const TObject* Dest) {
    throw Exception("Cannot assign a " + ClassNameOf(Source) + " to a " + ClassNameOf(Dest));
  }
};

// A change notice: the sender is the object that changed.
using TNotifyEvent = std::function<void(TObject* Sender)>;

// Integer point and rectangle of the windowing system (Right and Bottom are exclusive).
struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  bool operator==(const TRect&) const = default;
};

inline TRect Rect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  return TRect{Left, Top, Right, Bottom};
}

// File names, with '/' as the only delimiter. An extension is the part of
// the last name from its last dot on; a dot in a folder name is none.
// ChangeFileExt replaces it (or appends AExt when there is none),
// ExtractFilePath keeps the trailing delimiter.
std::string ChangeFileExt(const std::string& AFileName, const std::string& AExt);
std::string ExtractFileName(const std::string& AFileName);
std::string ExtractFilePath(const std::string& AFileName);
std::string ExtractFileExt(const std::string& AFileName);
