#include "shell/noxShellCommonLang.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

std::atomic<LANGID> LanguageOverride{0};

LANGID LangIDFromLocaleName(const std::string& locale) {
  std::string code;
  for (char c : locale) {
    if (!std::isalpha(static_cast<unsigned char>(c))) break;
    code += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  // The primary languages of the users we have texts for, and a few neighbours.
  static const struct { const char* Code; LANGID Lang; } Table[] = {
      {"en", 0x0409}, {"ru", 0x0419}, {"uk", 0x0422}, {"be", 0x0423}, {"de", 0x0407},
      {"fr", 0x040C}, {"es", 0x0C0A}, {"it", 0x0410}, {"pl", 0x0415}, {"cs", 0x0405},
      {"nl", 0x0413}, {"pt", 0x0816}, {"ja", 0x0411}, {"zh", 0x0804}, {"kk", 0x043F},
  };
  for (const auto& t : Table)
    if (code == t.Code) return t.Lang;
  return LANG_ENGLISH_US;
}

LANGID GetUILanguage() {
  if (LANGID o = LanguageOverride.load()) return o;
  // LANGUAGE is a priority list; its first entry counts.
  for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(name);
    if (v && *v) {
      std::string s(v);
      s = s.substr(0, s.find(':'));
      if (!s.empty()) return LangIDFromLocaleName(s);
    }
  }
  return LANG_ENGLISH_US;
}

void TnoxShellLockObject::BeginRead() {
  std::unique_lock<std::mutex> l(FMutex);
  if (FWriteDepth > 0 && FWriter == std::this_thread::get_id()) {
    ++FWriteDepth;  // the writer reading its own data
    return;
  }
  FChanged.wait(l, [&] { return FWriteDepth == 0; });
  ++FReaders;
}

void TnoxShellLockObject::EndRead() {
  std::lock_guard<std::mutex> l(FMutex);
  if (FWriteDepth > 0 && FWriter == std::this_thread::get_id()) {
    if (--FWriteDepth == 0) FChanged.notify_all();
    return;
  }
  if (--FReaders == 0) FChanged.notify_all();
}

void TnoxShellLockObject::BeginWrite() {
  std::unique_lock<std::mutex> l(FMutex);
  if (FWriteDepth > 0 && FWriter == std::this_thread::get_id()) {
    ++FWriteDepth;
    return;
  }
  FChanged.wait(l, [&] { return FWriteDepth == 0 && FReaders == 0; });
  FWriter = std::this_thread::get_id();
  FWriteDepth = 1;
}

void TnoxShellLockObject::EndWrite() {
  std::lock_guard<std::mutex> l(FMutex);
  if (--FWriteDepth == 0) {
    FWriter = std::thread::id();
    FChanged.notify_all();
  }
}

namespace {

struct TReadLock {
  explicit TReadLock(TnoxShellLockObject& o) : O(o) { O.BeginRead(); }
  ~TReadLock() { O.EndRead(); }
  TnoxShellLockObject& O;
};

struct TWriteLock {
  explicit TWriteLock(TnoxShellLockObject& o) : O(o) { O.BeginWrite(); }
  ~TWriteLock() { O.EndWrite(); }
  TnoxShellLockObject& O;
};

}  // namespace

TnoxShellLanguage::TnoxShellLanguage(TnoxShellLanguages* AOwner, LANGID ALangID)
    : FOwner(AOwner), FLangID(ALangID) {
  if (FOwner) {
    TWriteLock l(*FOwner);
    FOwner->FList.push_back(this);
  }
}

TnoxShellLanguage::~TnoxShellLanguage() {
  if (FOwner) {
    TWriteLock l(*FOwner);
    auto& list = FOwner->FList;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
}

bool TnoxShellLanguage::TryGetValue(const std::string& ATag, std::string& AValue) {
  TReadLock l(*this);
  auto it = FIndex.find(ATag);
  if (it == FIndex.end()) {
    AValue = ATag;
    return false;
  }
  AValue = FItems[it->second]->Value;
  return true;
}

std::string TnoxShellLanguage::GetValue(const std::string& ATag) {
  std::string v;
  TryGetValue(ATag, v);
  return v;
}

void TnoxShellLanguage::SetValue(const std::string& ATag, const std::string& AValue) {
  TWriteLock l(*this);
  auto it = FIndex.find(ATag);
  if (it != FIndex.end()) {
    FItems[it->second]->Value = AValue;
    return;
  }
  FItems.push_back(std::make_unique<TnoxShellTagValue>(TnoxShellTagValue{ATag, AValue}));
  FIndex.emplace(ATag, FItems.size() - 1);
}

void TnoxShellLanguage::SetValueByIndex(int AIndex, const std::string& AValue) {
  SetValue(std::to_string(AIndex), AValue);
}

TnoxShellLanguages::~TnoxShellLanguages() {
  while (!FList.empty()) delete FList.back();  // each removes itself
}

int TnoxShellLanguages::GetCount() {
  TReadLock l(*this);
  return static_cast<int>(FList.size());
}

TnoxShellLanguage* TnoxShellLanguages::GetLang_(int AIndex) {
  TReadLock l(*this);
  return FList.at(AIndex);
}

TnoxShellLanguage* TnoxShellLanguages::GetCurrent() {
  const LANGID lang = GetUILanguage();
  TWriteLock l(*this);
  for (int i = 0, n = GetCount(); i < n; ++i)
    if (TnoxShellLanguage* t = GetLang_(i); t->GetLangID() == lang) return t;
  auto* t = new TnoxShellLanguage(this, lang);
  try {
    FillLanguage(t);
  } catch (...) {
    delete t;
    throw;
  }
  return t;
}

void TnoxShellLanguages::FillLanguage(TnoxShellLanguage*) {}
