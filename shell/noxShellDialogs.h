// Qt-free parts of the dialogs: paragraph splitting, button descriptions and the
// button sets of the message-box flags, the copy-as-text format and the texts
// of exceptions with their error codes.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "shell/noxShellStrings.h"

// Message-box flags (the values of the system's MessageBox flags).
constexpr uint32_t MB_OK = 0x0;
constexpr uint32_t MB_OKCANCEL = 0x1;
constexpr uint32_t MB_ABORTRETRYIGNORE = 0x2;
constexpr uint32_t MB_YESNOCANCEL = 0x3;
constexpr uint32_t MB_YESNO = 0x4;
constexpr uint32_t MB_RETRYCANCEL = 0x5;
constexpr uint32_t MB_CANCELTRYCONTINUE = 0x6;
constexpr uint32_t MB_ICONERROR = 0x10;
constexpr uint32_t MB_ICONQUESTION = 0x20;
constexpr uint32_t MB_ICONWARNING = 0x30;
constexpr uint32_t MB_ICONINFORMATION = 0x40;
constexpr uint32_t MB_DEFBUTTON2 = 0x100;
constexpr uint32_t MB_DEFBUTTON3 = 0x200;
constexpr uint32_t MB_HELP = 0x4000;

// Dialog results (the system's dialog identifiers).
constexpr int32_t IDOK = 1;
constexpr int32_t IDCANCEL = 2;
constexpr int32_t IDABORT = 3;
constexpr int32_t IDRETRY = 4;
constexpr int32_t IDIGNORE = 5;
constexpr int32_t IDYES = 6;
constexpr int32_t IDNO = 7;
constexpr int32_t IDHELP = 9;

// Icon kinds: 0 none, 1 error, 2 question, 3 warning, 4 information.
uint32_t IconKindToFlags(uint8_t AKind);
uint8_t IconKindFromFlags(uint32_t AFlags);

// Splits a content text into paragraphs. Existing entries are reused (emptied when
// the new text has fewer paragraphs); a line starting with #1 or #2 ends a paragraph.
void noxSplitContentText(const std::string& AText, std::vector<std::string>& AParagraphs);

class TnoxShellButtonList;

// One button described before the dialog exists.
class TnoxShellButton {
public:
  explicit TnoxShellButton(TnoxShellButtonList* AOwner);
  ~TnoxShellButton();
  TnoxShellButton(const TnoxShellButton&) = delete;
  TnoxShellButton& operator=(const TnoxShellButton&) = delete;

  std::string Caption;
  int32_t ModalResult = 0;
  bool Default = false;
  bool Cancel = false;
  int32_t Tag = 0;

private:
  friend class TnoxShellButtonList;
  TnoxShellButtonList* FOwner;
};

class TnoxShellButtonList {
public:
  TnoxShellButtonList() = default;
  ~TnoxShellButtonList();
  TnoxShellButtonList(const TnoxShellButtonList&) = delete;
  TnoxShellButtonList& operator=(const TnoxShellButtonList&) = delete;

  int32_t Count() const { return static_cast<int32_t>(FItems.size()); }
  TnoxShellButton* GetItem(int32_t AIndex) const { return FItems.at(AIndex); }

  TnoxShellButton* AddButton(const std::string& ACaption, int32_t AModalResult, bool ADefault, bool ACancel);
  TnoxShellButton* AddOK(const std::string& ACaption, bool ADefault, bool ACancel);
  TnoxShellButton* AddCancel(const std::string& ACaption, bool ADefault, bool ACancel);
  TnoxShellButton* AddAbort(const std::string& ACaption, bool ADefault, bool ACancel);
  TnoxShellButton* AddRetry(const std::string& ACaption, bool ADefault, bool ACancel);
  TnoxShellButton* AddIgnore(const std::string& ACaption, bool ADefault, bool ACancel);
  TnoxShellButton* AddYes(const std::string& ACaption, bool ADefault, bool ACancel);
  TnoxShellButton* AddNo(const std::string& ACaption, bool ADefault, bool ACancel);
  TnoxShellButton* AddShellIgnore(const std::string& ACaption, bool ADefault, bool ACancel);
  TnoxShellButton* AddHelp(const std::string& ACaption, bool ADefault, bool ACancel);

  // Fills the list with the button set of message-box flags: the set, the default
  // index and the help button.
  void AddFromFlags(uint32_t AFlags);

private:
  friend class TnoxShellButton;
  TnoxShellButton* AddSystem(const std::string& ACaption, uint32_t AStringID, int32_t AModalResult, bool ADefault,
                             bool ACancel);
  TnoxUser32Strings& FUser32Strings();
  std::vector<TnoxShellButton*> FItems;
  std::unique_ptr<TnoxUser32Strings> FUser32;
};

// Whether a message box with these buttons keeps its close command. A box whose
// buttons cannot close it (no buttons, or only a help button) always keeps it, so
// no set of flags gives a dialog that cannot be closed.
bool noxKeepCloseCommand(const std::vector<int32_t>& AModalResults);

// Removes every '&' (a doubled one too).
std::string noxStripAmpersands(const std::string& AText);

// The text that Ctrl+C copies, each line ended by CR LF.
std::string noxComposeCopyText(const std::string& ACaption, const std::string& AInstruction,
                               const std::vector<std::string>& AParagraphs, const std::string& AVerification,
                               const std::vector<std::string>& AButtonCaptions);

// Error texts.
std::string GetNoErrorDescriptionText();
std::string FormatMessageText(const std::string& AFormat, const std::string& A1, const std::string& A2 = "",
                              const std::string& A3 = "");
std::string GetSystemErrorText(uint32_t ACode, const std::string& AInsert);
std::string GetShell32ErrorFormat();
std::string FormatErrorWithCode(uint32_t ACode, const std::string& AText);
std::string FormatExceptionText(const std::exception& E, const std::string& AInsert = "");
// The program's file name without its folder.
std::string GetProgramFileName();

// A small formatter for the texts above: %s (string), %d, %x/%X with an optional
// ".N" precision (integers, read as unsigned 32 bits for x/X) and %%.
struct TnoxFormatArg {
  TnoxFormatArg(const std::string& s) : IsString(true), Str(s) {}
  TnoxFormatArg(const char* s) : IsString(true), Str(s) {}
  TnoxFormatArg(int64_t v) : IsString(false), Int(v) {}
  TnoxFormatArg(uint32_t v) : IsString(false), Int(v) {}
  TnoxFormatArg(int32_t v) : IsString(false), Int(v) {}
  bool IsString;
  std::string Str;
  int64_t Int = 0;
};
std::string noxFormat(const std::string& AFormat, const std::vector<TnoxFormatArg>& AArgs);
