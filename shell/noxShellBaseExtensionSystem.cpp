#include "shell/noxShellBaseExtensionSystem.h"

#include <atomic>
#include <cstdlib>

bool TnoxMemorySettingsStore::ReadString(const std::string& AKey, const std::string& AName, std::string& AValue) {
  std::lock_guard<std::mutex> l(FLock);
  auto k = FKeys.find(AKey);
  if (k == FKeys.end()) return false;
  auto v = k->second.find(AName);
  if (v == k->second.end()) return false;
  AValue = v->second;
  return true;
}

void TnoxMemorySettingsStore::WriteString(const std::string& AKey, const std::string& AName,
                                          const std::string& AValue) {
  std::lock_guard<std::mutex> l(FLock);
  FKeys[AKey][AName] = AValue;
}

bool TnoxMemorySettingsStore::HasKey(const std::string& AKey) const {
  std::lock_guard<std::mutex> l(FLock);
  return FKeys.count(AKey) != 0;
}

namespace {

TnoxMemorySettingsStore& ProcessStore() {
  static auto* s = new TnoxMemorySettingsStore;
  return *s;
}

std::atomic<HKEY> CurrentUserKey{nullptr};

}  // namespace

HKEY GetCurrentUserKey() {
  HKEY k = CurrentUserKey.load();
  return k ? k : &ProcessStore();
}

void SetCurrentUserKey(HKEY AStore) { CurrentUserKey.store(AStore); }

std::string RegReadString(HKEY ARoot, const std::string& ASubKey, const std::string& AName) {
  if (!ARoot) return {};
  std::string value;
  try {
    if (!ARoot->ReadString(ASubKey, AName, value)) return {};
  } catch (const std::exception&) {
    return {};  // reading never raises: a failed read is the empty string
  }
  if (auto nul = value.find('\0'); nul != std::string::npos) value.resize(nul);
  return value;
}

void RegWriteString(HKEY ARoot, const std::string& ASubKey, const std::string& AName, const std::string& AValue) {
  if (!ARoot) RegCheck(ERROR_INVALID_HANDLE);
  ARoot->WriteString(ASubKey, AName, AValue);
}

void RegCheck(uint32_t ACode) {
  if (ACode != 0) RaiseOSError(ACode);
}

std::string ExpandEnvironment(const std::string& AText) {
  std::string out;
  size_t i = 0;
  while (i < AText.size()) {
    const size_t open = AText.find('%', i);
    if (open == std::string::npos) break;
    const size_t close = AText.find('%', open + 1);
    if (close == std::string::npos) break;
    out.append(AText, i, open - i);
    const std::string name = AText.substr(open + 1, close - open - 1);
    const char* v = name.empty() ? nullptr : std::getenv(name.c_str());
    if (v) {
      out += v;
      i = close + 1;
    } else {
      // Keep the unknown name; its closing "%" may open the next name.
      out.append(AText, open, close - open);
      i = close;
    }
  }
  out.append(AText, i, std::string::npos);
  return out;
}

namespace {

TnoxSystemVersion& VersionRecord() {
  static TnoxSystemVersion v = [] {
    TnoxSystemVersion r;
    r.Major = 5;
    r.Minor = 1;
    r.Build = 2600;
    return r;
  }();
  return v;
}

}  // namespace

void ReadSystemVersion() { (void)VersionRecord(); }
const TnoxSystemVersion& GetSystemVersion() { return VersionRecord(); }
bool IsWindowsVistaOrLater() { return GetSystemVersion().Major >= 6; }

void RaiseOutOfResources() { throw EOutOfResources("OutOfResources"); }

void RaiseLastResourceError(uint32_t ACode) {
  const std::string text = ACode ? SysErrorMessage(ACode) : std::string();
  if (text.empty()) RaiseOutOfResources();
  throw EOutOfResources(text);
}
