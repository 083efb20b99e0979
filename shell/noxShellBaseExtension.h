// The shell library's exception classes, the fixed texts of the operating-system
// and component error codes the program uses, and the two-way mapping between
// exceptions and HRESULT codes. No exception may leave a component method: each
// ends as ExceptionToHResult of it, and a failing HRESULT coming back from a
// component call is raised with CheckHResult.
//
// The rest of the unit lives beside this file, one header per topic:
//   noxShellBaseExtensionCom.h       interface identifiers, IUnknown, TnoxShellInterfacedObject
//   noxShellBaseExtensionSystem.h    settings store, environment, version, resource errors
//   noxShellBaseExtensionLateBound.h late-bound system entry points and their fallbacks
//   noxShellBaseExtensionFilters.h   file-dialog filters
//   noxShellBaseExtensionStreams.h   streams and stream adapters
//   noxShellBaseExtensionData.h      data offers, format helpers, clipboard formats
//   noxShellBaseExtensionFileLists.h file lists over folders and data offers
//   noxShellBaseExtensionBitmaps.h   DIB geometry, pixel reading, icon images
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "rtl/KvSysUtils.h"

// HRESULT values the library produces or tests.
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT E_ABORT = static_cast<HRESULT>(0x80004004u);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT OLE_E_BLANK = static_cast<HRESULT>(0x80040007u);
constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064u);
constexpr HRESULT STG_E_INVALIDFUNCTION = static_cast<HRESULT>(0x80030001u);
constexpr HRESULT STG_E_REVERTED = static_cast<HRESULT>(0x80030102u);
constexpr HRESULT STG_E_INVALIDFLAG = static_cast<HRESULT>(0x800300FFu);
constexpr HRESULT HRESULT_CANCELLED = static_cast<HRESULT>(0x800704C7u);        // Win32 1223
constexpr HRESULT HRESULT_REQUEST_ABORTED = static_cast<HRESULT>(0x800704D3u);  // Win32 1235

// Operating-system error codes with a fixed text (SysErrorMessage).
constexpr uint32_t ERROR_SUCCESS = 0;
constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
constexpr uint32_t ERROR_ACCESS_DENIED = 5;
constexpr uint32_t ERROR_INVALID_HANDLE = 6;
constexpr uint32_t ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr uint32_t ERROR_INVALID_DATA = 13;
constexpr uint32_t ERROR_NOT_SUPPORTED = 50;
constexpr uint32_t ERROR_FILE_EXISTS = 80;
constexpr uint32_t ERROR_INVALID_PASSWORD = 86;
constexpr uint32_t ERROR_INVALID_PARAMETER = 87;
constexpr uint32_t ERROR_MOD_NOT_FOUND = 126;
constexpr uint32_t ERROR_CANCELLED = 1223;
constexpr uint32_t ERROR_REQUEST_ABORTED = 1235;
constexpr uint32_t ERROR_RESOURCE_NAME_NOT_FOUND = 1814;

// HRESULT_FROM_WIN32: 0 stays 0, anything else keeps its low 16 bits under 0x80070000.
constexpr HRESULT HResultFromWin32(uint32_t code) {
  return code == 0 ? 0 : static_cast<HRESULT>(0x80070000u | (code & 0xFFFFu));
}
constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

// A condition to be shown with the warning icon rather than the error icon.
class EWarning : public Exception {
public:
  using Exception::Exception;
};

// An object used before it was set up. Maps to OLE_E_BLANK.
class EUninitializedObject : public Exception {
public:
  using Exception::Exception;
};

// A stream or object refused the operation for its access mode. The message is
// the fixed text of E_ACCESSDENIED.
class EAccessDenied : public EOleSysError {
public:
  EAccessDenied();
};

// A component error whose message is shown as it stands (the exception box does
// not replace it by the text of its code). It owns one further object, freed
// with the exception; copies share it.
class EOleSysErrorEx : public EOleSysError {
public:
  EOleSysErrorEx(std::string msg, HRESULT code, std::shared_ptr<void> data = nullptr)
      : EOleSysError(std::move(msg), code), FData(std::move(data)) {}
  const std::shared_ptr<void>& GetData() const { return FData; }

private:
  std::shared_ptr<void> FData;
};

// The fixed text of an operating-system error code; empty for a code without one.
std::string SysErrorMessage(uint32_t code);
// The fixed text of an HRESULT: its own text, the text of the Win32 code inside
// a 0x8007xxxx value, or empty.
std::string HResultMessage(HRESULT code);

// The message of an OS error: "System Error.  Code: N." and a line break, then
// the code's fixed text (empty for a code without one); for code 0, which
// reports a failure that left no code, "A call to an OS function failed".
std::string OSErrorMessage(uint32_t code);
// Raises EOSError with the code and OSErrorMessage(code). Every OS error is
// raised this way, so one code always reads the same.
[[noreturn]] void RaiseOSError(uint32_t code);

// The HRESULT that a component method returns for an exception.
HRESULT ExceptionToHResult(const std::exception& e);
// The same for the exception in flight; use inside catch (...).
HRESULT CurrentExceptionToHResult() noexcept;

// True when the exception means that the user or the system cancelled.
bool IsCancelException(const std::exception& e);

// Raises EOleSysError for a failure code, with the code's text or
// "OLE error XXXXXXXX". Success codes (S_FALSE included) pass.
void CheckHResult(HRESULT code);

// Argument checks at the start of component methods.
void RequirePointer(const void* p);    // null -> EInvalidPointer -> E_POINTER
void RequireArgument(bool condition);  // false -> EArgumentException -> E_INVALIDARG
