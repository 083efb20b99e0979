// Texts of the system modules' string tables and dialog templates, read by
// number. This system has no such modules, so the library carries a table of
// its own for the numbers the program reads, in English and Russian, under
// the module names "user32.dll" and "shell32.dll". Every text read is cached
// per user-interface language.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "shell/noxShellCommonLang.h"

struct TnoxSystemModule;
using HMODULE = const TnoxSystemModule*;

// The module for a name (environment variables expanded; the file part
// compared without regard to letter case), cached by the name as passed in.
// An unknown module raises EOSError 126.
HMODULE GetCachedModule(const std::string& AName);
void FreeCachedModules();

// The text cache: one table per user-interface language, empty at first.
TnoxShellLanguages& SystemStringCache();
// How many texts were read from the modules (not from the cache) so far.
int SystemStringReadCount();

class TnoxModule : public TObject {
public:
  explicit TnoxModule(std::string AName) : FName(std::move(AName)) {}
  const std::string& GetName() const { return FName; }
  HMODULE GetHandle() const { return FHandle; }
  void EnsureLoaded();

private:
  std::string FName;
  HMODULE FHandle = nullptr;
};

class TnoxShellStrings : public TnoxModule {
public:
  using TnoxModule::TnoxModule;
  // String AID of the module's table; '' for a missing entry (cached too).
  std::string GetString(uint32_t AID);
};

class TnoxUser32Strings : public TnoxShellStrings {
public:
  TnoxUser32Strings() : TnoxShellStrings("user32.dll") {}
};

class TnoxShell32Strings : public TnoxShellStrings {
public:
  TnoxShell32Strings() : TnoxShellStrings("shell32.dll") {}
};

std::string LoadUser32String(uint32_t AID);
std::string LoadShell32String(uint32_t AID);

// The texts of one dialog of a module: its caption and its controls' texts.
class TnoxShellDialogStrings : public TnoxModule {
public:
  TnoxShellDialogStrings(std::string AName, uint32_t ADialogID) : TnoxModule(std::move(AName)), FDialogID(ADialogID) {}
  uint32_t GetDialogID() const { return FDialogID; }
  // Control AID's text (0: the dialog's caption); '' for a missing control.
  // A dialog the module does not have raises EOSError 1814.
  std::string GetString(uint32_t AID);
  void LoadDialog();
  const std::string& GetCaption() const { return FCaption; }
  // (text, control id) in template order, once loaded.
  const std::vector<std::pair<std::string, uint32_t>>& GetItems() const { return FItems; }

private:
  uint32_t FDialogID;
  bool FLoaded = false;
  std::string FCaption;
  std::vector<std::pair<std::string, uint32_t>> FItems;
};

class TnoxShell32DialogStrings : public TnoxShellDialogStrings {
public:
  explicit TnoxShell32DialogStrings(uint32_t ADialogID) : TnoxShellDialogStrings("shell32.dll", ADialogID) {}
};
