// Small system services of the shell library: string settings under a key
// path (the registry of the original design), environment expansion, the
// system version, and the errors of failed resource calls.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "shell/noxShellBaseExtension.h"

// A store of string values under key paths such as
// "Software\Noxwell Software\Kovrel". The program's store is an INI file
// (shell/qt); tests and the Qt-free documents use TnoxMemorySettingsStore.
class TnoxSettingsStore {
public:
  virtual ~TnoxSettingsStore() = default;
  // False when the key or the value does not exist; never raises for that.
  virtual bool ReadString(const std::string& AKey, const std::string& AName, std::string& AValue) = 0;
  // Creates the key when needed. Raises EOSError when the store refuses.
  virtual void WriteString(const std::string& AKey, const std::string& AName, const std::string& AValue) = 0;
};

class TnoxMemorySettingsStore : public TnoxSettingsStore {
public:
  bool ReadString(const std::string& AKey, const std::string& AName, std::string& AValue) override;
  void WriteString(const std::string& AKey, const std::string& AName, const std::string& AValue) override;
  bool HasKey(const std::string& AKey) const;

private:
  mutable std::mutex FLock;
  std::map<std::string, std::map<std::string, std::string>> FKeys;
};

// A root key is the store it names.
using HKEY = TnoxSettingsStore*;

// The store behind HKEY_CURRENT_USER. Until one is installed it is a memory
// store of the process.
HKEY GetCurrentUserKey();
// Installs the store (not owned; null restores the process memory store).
void SetCurrentUserKey(HKEY AStore);

// The program's own key.
inline const char* const KovrelRegistryKey = "Software\\Noxwell Software\\Kovrel";

// The value's text up to its first NUL; the empty string for a missing root,
// key or value. Never raises for those.
std::string RegReadString(HKEY ARoot, const std::string& ASubKey, const std::string& AName);
// Raises EOSError (ERROR_INVALID_HANDLE for a missing root, or the store's error).
void RegWriteString(HKEY ARoot, const std::string& ASubKey, const std::string& AName, const std::string& AValue);
// Does nothing for 0; raises EOSError with the code otherwise.
void RegCheck(uint32_t ACode);

// Replaces each %NAME% by the environment variable NAME. An unknown variable
// keeps its name with the percent signs; a lone "%" stays.
std::string ExpandEnvironment(const std::string& AText);

struct TnoxSystemVersion {
  int32_t Major = 0;
  int32_t Minor = 0;
  int32_t Build = 0;
};

// The version record, read once. This system has no version query of the
// older platform, so the record holds its fallback: 5.1.2600.
void ReadSystemVersion();
const TnoxSystemVersion& GetSystemVersion();
// Major version 6 or more.
bool IsWindowsVistaOrLater();

// Raises EOutOfResources "OutOfResources".
[[noreturn]] void RaiseOutOfResources();
// Raises EOutOfResources with the fixed text of the code, or "OutOfResources"
// when the code is 0 or has no text.
[[noreturn]] void RaiseLastResourceError(uint32_t ACode);

// Returns a non-null handle or pointer; raises RaiseOutOfResources for null.
template <class T>
T ResourceCheck(T AValue) {
  if (!AValue) RaiseOutOfResources();
  return AValue;
}
inline void ResourceCheckBool(bool AValue) {
  if (!AValue) RaiseOutOfResources();
}
