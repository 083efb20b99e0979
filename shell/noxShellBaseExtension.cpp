#include "shell/noxShellBaseExtension.h"

#include <cstdio>
#include <new>

namespace {

struct TCodeText {
  uint32_t Code;
  const char* Text;
};

// Our own wording for the codes the program raises or meets.
constexpr TCodeText OSErrorTexts[] = {
    {ERROR_SUCCESS, "The operation succeeded."},
    {ERROR_FILE_NOT_FOUND, "File not found."},
    {ERROR_PATH_NOT_FOUND, "Path not found."},
    {ERROR_ACCESS_DENIED, "Access denied."},
    {ERROR_INVALID_HANDLE, "Invalid handle."},
    {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory."},
    {ERROR_INVALID_DATA, "Invalid data."},
    {ERROR_NOT_SUPPORTED, "The request is not supported."},
    {ERROR_FILE_EXISTS, "The file already exists."},
    {ERROR_INVALID_PASSWORD, "Invalid password."},
    {ERROR_INVALID_PARAMETER, "Invalid parameter."},
    {ERROR_MOD_NOT_FOUND, "Module not found."},
    {ERROR_CANCELLED, "The operation was cancelled by the user."},
    {ERROR_REQUEST_ABORTED, "The request was aborted."},
    {ERROR_RESOURCE_NAME_NOT_FOUND, "Resource not found."},
};

constexpr TCodeText HResultTexts[] = {
    {static_cast<uint32_t>(E_NOTIMPL), "Not implemented."},
    {static_cast<uint32_t>(E_NOINTERFACE), "Interface not supported."},
    {static_cast<uint32_t>(E_POINTER), "Invalid pointer."},
    {static_cast<uint32_t>(E_ABORT), "Operation aborted."},
    {static_cast<uint32_t>(E_FAIL), "Unspecified error."},
    {static_cast<uint32_t>(E_UNEXPECTED), "Unexpected failure."},
    {static_cast<uint32_t>(OLE_E_BLANK), "The object is not initialized."},
    {static_cast<uint32_t>(DV_E_FORMATETC), "Invalid data format."},
    {static_cast<uint32_t>(STG_E_INVALIDFUNCTION), "Invalid stream function."},
    {static_cast<uint32_t>(STG_E_REVERTED), "The stream was reverted."},
    {static_cast<uint32_t>(STG_E_INVALIDFLAG), "Invalid flag."},
};

}  // namespace

EAccessDenied::EAccessDenied() : EOleSysError(HResultMessage(E_ACCESSDENIED), E_ACCESSDENIED, 0) {}

std::string SysErrorMessage(uint32_t code) {
  for (const auto& t : OSErrorTexts)
    if (t.Code == code) return t.Text;
  return {};
}

std::string HResultMessage(HRESULT code) {
  const auto u = static_cast<uint32_t>(code);
  for (const auto& t : HResultTexts)
    if (t.Code == u) return t.Text;
  if ((u & 0xFFFF0000u) == 0x80070000u) return SysErrorMessage(u & 0xFFFFu);
  return {};
}

std::string OSErrorMessage(uint32_t code) {
  if (code == 0) return "A call to an OS function failed";
  return "System Error.  Code: " + std::to_string(code) + ".\n" + SysErrorMessage(code);
}

void RaiseOSError(uint32_t code) { throw EOSError(code, OSErrorMessage(code)); }

HRESULT ExceptionToHResult(const std::exception& e) {
  if (dynamic_cast<const EAbort*>(&e)) return HRESULT_CANCELLED;
  if (auto* ole = dynamic_cast<const EOleSysError*>(&e)) {
    // An exception is a failure: a success code (0, S_FALSE, ...) inside one
    // must not reach the caller as success.
    return Failed(ole->ErrorCode) ? ole->ErrorCode : E_FAIL;
  }
  if (dynamic_cast<const EOutOfMemory*>(&e) || dynamic_cast<const std::bad_alloc*>(&e)) return E_OUTOFMEMORY;
  if (auto* os = dynamic_cast<const EOSError*>(&e)) {
    // A failure must never read as success: a code of 0 carries no cause, so
    // it becomes the generic failure instead of S_OK.
    return os->ErrorCode == 0 ? E_FAIL : HResultFromWin32(os->ErrorCode);
  }
  if (dynamic_cast<const EArgumentException*>(&e)) return E_INVALIDARG;
  if (dynamic_cast<const EInvalidPointer*>(&e)) return E_POINTER;
  if (dynamic_cast<const EUninitializedObject*>(&e)) return OLE_E_BLANK;
  return E_UNEXPECTED;
}

HRESULT CurrentExceptionToHResult() noexcept {
  try {
    throw;
  } catch (const std::exception& e) {
    return ExceptionToHResult(e);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

bool IsCancelException(const std::exception& e) {
  if (dynamic_cast<const EAbort*>(&e)) return true;
  if (auto* ole = dynamic_cast<const EOleSysError*>(&e))
    return ole->ErrorCode == HRESULT_CANCELLED || ole->ErrorCode == HRESULT_REQUEST_ABORTED ||
           ole->ErrorCode == E_ABORT;
  if (auto* os = dynamic_cast<const EOSError*>(&e))
    return os->ErrorCode == ERROR_CANCELLED || os->ErrorCode == ERROR_REQUEST_ABORTED;
  return false;
}

void CheckHResult(HRESULT code) {
  if (Succeeded(code)) return;
  std::string text = HResultMessage(code);
  if (text.empty()) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "OLE error %.8X", static_cast<unsigned>(code));
    text = buf;
  }
  throw EOleSysError(text, code, 0);
}

void RequirePointer(const void* p) {
  if (!p) throw EInvalidPointer();
}

void RequireArgument(bool condition) {
  if (!condition) throw EArgumentException();
}
