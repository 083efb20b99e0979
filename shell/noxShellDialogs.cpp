#include "shell/noxShellDialogs.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "rtl/KvSysUtils.h"
#include "shell/noxShellBaseExtension.h"
#include "shell/noxShellBaseExtensionSystem.h"
#include "shell/noxShellLang.h"
#include "shell/noxShellStrings.h"

uint32_t IconKindToFlags(uint8_t AKind) {
  switch (AKind) {
    case 1: return MB_ICONERROR;
    case 2: return MB_ICONQUESTION;
    case 3: return MB_ICONWARNING;
    case 4: return MB_ICONINFORMATION;
    default: return 0;
  }
}

uint8_t IconKindFromFlags(uint32_t AFlags) {
  switch (AFlags & 0xF0) {
    case MB_ICONERROR: return 1;
    case MB_ICONQUESTION: return 2;
    case MB_ICONWARNING: return 3;
    case MB_ICONINFORMATION: return 4;
    default: return 0;
  }
}

void noxSplitContentText(const std::string& AText, std::vector<std::string>& AParagraphs) {
  for (auto& p : AParagraphs) p.clear();
  // The text with a final line break, cut into lines at CR LF, CR or LF.
  const std::string text = AText + "\r\n";
  std::vector<std::string> lines;
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  size_t k = 0;
  std::vector<std::string> collected;
  auto endParagraph = [&]() {
    if (collected.empty()) return;
    std::string joined;
    for (size_t i = 0; i < collected.size(); ++i) {
      if (i) joined += "\r\n";
      joined += collected[i];
    }
    if (AParagraphs.size() > k)
      AParagraphs[k] = joined;
    else
      AParagraphs.push_back(joined);
    ++k;
    collected.clear();
  };
  for (const auto& l : lines) {
    if (!l.empty() && (l[0] == '\x01' || l[0] == '\x02'))
      endParagraph();
    else
      collected.push_back(l);
  }
  endParagraph();
}

// ---- button descriptions ----

TnoxShellButton::TnoxShellButton(TnoxShellButtonList* AOwner) : FOwner(AOwner) {
  if (FOwner) FOwner->FItems.push_back(this);
}

TnoxShellButton::~TnoxShellButton() {
  if (FOwner) {
    auto& v = FOwner->FItems;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
}

TnoxShellButtonList::~TnoxShellButtonList() {
  while (!FItems.empty()) delete FItems.back();
}

TnoxShellButton* TnoxShellButtonList::AddButton(const std::string& ACaption, int32_t AModalResult, bool ADefault,
                                                bool ACancel) {
  auto* b = new TnoxShellButton(this);
  b->Caption = ACaption;
  b->ModalResult = AModalResult;
  b->Default = ADefault;
  b->Cancel = ACancel;
  b->Tag = 0;
  return b;
}

TnoxShellButton* TnoxShellButtonList::AddSystem(const std::string& ACaption, uint32_t AStringID,
                                                int32_t AModalResult, bool ADefault, bool ACancel) {
  return AddButton(ACaption.empty() ? FUser32Strings().GetString(AStringID) : ACaption, AModalResult, ADefault, ACancel);
}

TnoxShellButton* TnoxShellButtonList::AddOK(const std::string& c, bool d, bool x) { return AddSystem(c, 800, IDOK, d, x); }
TnoxShellButton* TnoxShellButtonList::AddCancel(const std::string& c, bool d, bool x) { return AddSystem(c, 801, IDCANCEL, d, x); }
TnoxShellButton* TnoxShellButtonList::AddAbort(const std::string& c, bool d, bool x) { return AddSystem(c, 802, IDABORT, d, x); }
TnoxShellButton* TnoxShellButtonList::AddRetry(const std::string& c, bool d, bool x) { return AddSystem(c, 803, IDRETRY, d, x); }
TnoxShellButton* TnoxShellButtonList::AddIgnore(const std::string& c, bool d, bool x) { return AddSystem(c, 804, IDIGNORE, d, x); }
TnoxShellButton* TnoxShellButtonList::AddYes(const std::string& c, bool d, bool x) { return AddSystem(c, 805, IDYES, d, x); }
TnoxShellButton* TnoxShellButtonList::AddNo(const std::string& c, bool d, bool x) { return AddSystem(c, 806, IDNO, d, x); }
TnoxShellButton* TnoxShellButtonList::AddHelp(const std::string& c, bool d, bool x) { return AddSystem(c, 808, IDHELP, d, x); }

TnoxShellButton* TnoxShellButtonList::AddShellIgnore(const std::string& c, bool d, bool x) {
  if (!c.empty()) return AddButton(c, IDIGNORE, d, x);
  std::string caption;
  if (IsWindowsVistaOrLater()) {
    TnoxShell32Strings strings;
    caption = strings.GetString(13602);
  } else {
    TnoxShellDialogStrings strings("shell32.dll", 1010);
    caption = strings.GetString(7);
  }
  return AddButton(caption, IDIGNORE, d, x);
}

void TnoxShellButtonList::AddFromFlags(uint32_t AFlags) {
  const uint32_t D = (AFlags >> 8) & 0xF;
  switch (AFlags & 0xF) {
    case 0:
      AddOK("", true, true);
      break;
    case 1:
      AddOK("", D == 0, false);
      AddCancel("", D == 1, true);
      break;
    case 2:
      AddAbort("", D == 0, false);
      AddRetry("", D == 1, false);
      AddIgnore("", D == 2, false);
      break;
    case 3:
      AddYes("", D == 0, false);
      AddNo("", D == 1, false);
      AddCancel("", D == 2, true);
      break;
    case 4:
      AddYes("", D == 0, false);
      AddNo("", D == 1, false);
      break;
    case 5:
      AddRetry("", D == 0, false);
      AddCancel("", D == 1, true);
      break;
    case 6:
      AddShellIgnore("", D == 0, false);
      AddCancel("", D == 1, true);
      break;
    case 7:
      AddRetry("", D == 0, false);
      AddShellIgnore("", D == 1, false);
      AddCancel("", D == 2, true);
      break;
    default:
      break;
  }
  if (AFlags & MB_HELP) AddHelp("", false, false);
}

bool noxKeepCloseCommand(const std::vector<int32_t>& AModalResults) {
  if (AModalResults.empty()) return true;
  if (std::find(AModalResults.begin(), AModalResults.end(), IDCANCEL) != AModalResults.end()) return true;
  if (AModalResults.size() == 1 && AModalResults[0] == IDOK) return true;
  // Help buttons (and any button without a result) do not close the dialog: with
  // nothing else to press, the close command is the only way out.
  return std::none_of(AModalResults.begin(), AModalResults.end(),
                      [](int32_t r) { return r != 0 && r != IDHELP; });
}

std::string noxStripAmpersands(const std::string& AText) {
  std::string s;
  for (char c : AText)
    if (c != '&') s += c;
  return s;
}

std::string noxComposeCopyText(const std::string& ACaption, const std::string& AInstruction,
                               const std::vector<std::string>& AParagraphs, const std::string& AVerification,
                               const std::vector<std::string>& AButtonCaptions) {
  std::vector<std::string> lines;
  lines.push_back("[Window Title]");
  if (!ACaption.empty()) lines.push_back(ACaption);
  lines.push_back("");
  lines.push_back("[Content]");
  if (!AInstruction.empty()) lines.push_back(AInstruction);
  for (size_t i = 0; i < AParagraphs.size(); ++i) {
    if (!AParagraphs[i].empty()) lines.push_back(AParagraphs[i]);
    if (i + 1 < AParagraphs.size()) lines.push_back(std::string(40, '-'));
  }
  lines.push_back("");
  if (!AVerification.empty()) {
    lines.push_back(AVerification);
    lines.push_back("");
  }
  if (!AButtonCaptions.empty()) {
    std::string row;
    for (size_t i = 0; i < AButtonCaptions.size(); ++i) {
      if (i) row += ' ';
      row += '[';
      row += noxStripAmpersands(AButtonCaptions[i]);
      row += ']';
    }
    lines.push_back(row);
  }
  std::string out;
  for (const auto& l : lines) out += l + "\r\n";
  return out;
}

// ---- formatting ----

std::string noxFormat(const std::string& AFormat, const std::vector<TnoxFormatArg>& AArgs) {
  std::string out;
  size_t arg = 0;
  for (size_t i = 0; i < AFormat.size(); ++i) {
    const char c = AFormat[i];
    if (c != '%' || i + 1 >= AFormat.size()) {
      out += c;
      continue;
    }
    size_t j = i + 1;
    if (AFormat[j] == '%') {
      out += '%';
      i = j;
      continue;
    }
    int precision = -1;
    if (AFormat[j] == '.') {
      precision = 0;
      ++j;
      while (j < AFormat.size() && AFormat[j] >= '0' && AFormat[j] <= '9') precision = precision * 10 + (AFormat[j++] - '0');
    }
    if (j >= AFormat.size()) {
      out += AFormat.substr(i);
      break;
    }
    const char conv = AFormat[j];
    const TnoxFormatArg* a = arg < AArgs.size() ? &AArgs[arg] : nullptr;
    char buf[64];
    switch (conv) {
      case 's':
        if (a) out += a->IsString ? a->Str : std::to_string(a->Int);
        ++arg;
        break;
      case 'd':
        if (a) out += a->IsString ? a->Str : std::to_string(a->Int);
        ++arg;
        break;
      case 'x':
      case 'X': {
        const uint32_t v = a && !a->IsString ? static_cast<uint32_t>(a->Int) : 0;
        std::snprintf(buf, sizeof buf, conv == 'x' ? "%.*x" : "%.*X", precision < 0 ? 1 : precision, v);
        out += buf;
        ++arg;
        break;
      }
      default:
        out += AFormat.substr(i, j - i + 1);
        break;
    }
    i = j;
  }
  return out;
}

std::string GetNoErrorDescriptionText() {
  return IsWindowsVistaOrLater() ? LoadShell32String(16874) : GetShellText(10);
}

std::string FormatMessageText(const std::string& AFormat, const std::string& A1, const std::string& A2,
                              const std::string& A3) {
  if (AFormat.empty()) return "";
  std::string out;
  for (size_t i = 0; i < AFormat.size(); ++i) {
    if (AFormat[i] == '%' && i + 1 < AFormat.size()) {
      const char n = AFormat[i + 1];
      if (n >= '1' && n <= '3') {
        out += n == '1' ? A1 : n == '2' ? A2 : A3;
        ++i;
        continue;
      }
      if (n == '%') {
        out += '%';
        ++i;
        continue;
      }
    }
    out += AFormat[i];
  }
  return out;
}

namespace {

std::string TrimText(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

std::string ReplaceFirst(std::string s, const std::string& from, const std::string& to) {
  const size_t p = s.find(from);
  if (p != std::string::npos) s.replace(p, from.size(), to);
  return s;
}

// The message that the run-time library gives an exception of the code by itself.
std::string DefaultOSErrorMessage(uint32_t ACode) {
  try {
    RaiseOSError(ACode);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

std::string DefaultOleErrorMessage(HRESULT ACode) {
  try {
    CheckHResult(ACode);
  } catch (const Exception& e) {
    return e.Message();
  }
  return "";
}

}  // namespace

std::string GetSystemErrorText(uint32_t ACode, const std::string& AInsert) {
  std::string text = TrimText(SysErrorMessage(ACode));
  if (!AInsert.empty()) text = FormatMessageText(text, AInsert);
  if (text.empty()) text = GetNoErrorDescriptionText();
  return text;
}

std::string GetShell32ErrorFormat() {
  std::string f = LoadShell32String(16873);
  f = ReplaceFirst(f, "%08lX", "%.8X");
  f = ReplaceFirst(f, "%08x", "%.8X");
  return f;
}

std::string FormatErrorWithCode(uint32_t ACode, const std::string& AText) {
  if (IsWindowsVistaOrLater()) return noxFormat(GetShell32ErrorFormat(), {ACode, AText});
  return noxFormat(GetShellText(9), {noxFormat("0x%.8X", {ACode}), AText});
}

std::string FormatExceptionText(const std::exception& E, const std::string& AInsert) {
  const auto* ex = dynamic_cast<const Exception*>(&E);
  std::string text = ex ? ex->Message() : std::string(E.what());
  if (dynamic_cast<const EOleSysErrorEx*>(&E)) return text;
  int64_t code = -1;
  if (const auto* ole = dynamic_cast<const EOleSysError*>(&E)) {
    const HRESULT c = ole->ErrorCode;
    code = static_cast<uint32_t>(c);
    if (text == DefaultOleErrorMessage(c)) text.clear();
    if (((static_cast<uint32_t>(c) >> 16) & 0x1FFF) == 7) code = static_cast<uint32_t>(c) & 0xFFFF;
  } else if (const auto* os = dynamic_cast<const EOSError*>(&E)) {
    code = os->ErrorCode;
    if (text == DefaultOSErrorMessage(os->ErrorCode)) text.clear();
  }
  if (text.empty() && code != -1) text = GetSystemErrorText(static_cast<uint32_t>(code), AInsert);
  if (text.empty()) text = GetNoErrorDescriptionText();
  if (code != -1) text = FormatErrorWithCode(static_cast<uint32_t>(code), text);
  return text;
}

std::string GetProgramFileName() {
  std::string path;
  std::vector<char> buf(520);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) break;
    if (static_cast<size_t>(n) < buf.size()) {
      path.assign(buf.data(), static_cast<size_t>(n));
      break;
    }
    buf.resize(buf.size() * 2);
  }
  size_t p = path.find_last_of("/\\");
  if (p != std::string::npos) path = path.substr(p + 1);
  p = path.find_last_of("\\:");
  if (p != std::string::npos) path = path.substr(p + 1);
  return path;
}

TnoxUser32Strings& TnoxShellButtonList::FUser32Strings() {
  if (!FUser32) FUser32 = std::make_unique<TnoxUser32Strings>();
  return *FUser32;
}
