#include "shell/noxShellStrings.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <mutex>

#include "shell/noxShellBaseExtensionSystem.h"

namespace {

struct TText {
  uint32_t ID;
  const char* English;
  const char* Russian;
};

struct TDialogItem {
  uint32_t ID;
  const char* English;
  const char* Russian;
};

struct TDialog {
  uint32_t ID;
  const char* EnglishCaption;
  const char* RussianCaption;
  std::vector<TDialogItem> Items;
};

}  // namespace

struct TnoxSystemModule {
  const char* FileName;
  std::vector<TText> Strings;
  std::vector<TDialog> Dialogs;
};

namespace {

// Button captions and error-box texts the library shows, in our own words.
const TnoxSystemModule User32Module{
    "user32.dll",
    {
        {2, "Error", "Ошибка"},
        {800, "OK", "ОК"},
        {801, "Cancel", "Отмена"},
        {802, "&Abort", "&Прервать"},
        {803, "&Retry", "&Повторить"},
        {804, "&Ignore", "П&ропустить"},
        {805, "&Yes", "&Да"},
        {806, "&No", "&Нет"},
        {807, "&Close", "&Закрыть"},
        {808, "Help", "Справка"},
    },
    {},
};

const TnoxSystemModule Shell32Module{
    "shell32.dll",
    {
        {13602, "&Skip", "П&ропустить"},
        {16873, "Error 0x%08lX: %s", "Ошибка 0x%08lX: %s"},
        {16874, "No description is available for this error.", "Для этой ошибки нет описания."},
    },
    {
        {1010, "File Operation", "Операция с файлом", {{6, "&Yes", "&Да"}, {7, "&Skip", "П&ропустить"}, {2, "Cancel", "Отмена"}}},
    },
};

const TnoxSystemModule* const Modules[] = {&User32Module, &Shell32Module};

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsRussianUI(LANGID lang) {
  const LANGID p = PrimaryLangID(lang);
  return p == 25 || p == 34 || p == 35;
}

std::mutex ModuleLock;
std::vector<std::pair<std::string, HMODULE>>* ModuleCache = nullptr;
std::atomic<int> ReadCount{0};

}  // namespace

HMODULE GetCachedModule(const std::string& AName) {
  std::lock_guard<std::mutex> l(ModuleLock);
  if (!ModuleCache) ModuleCache = new std::vector<std::pair<std::string, HMODULE>>;
  const std::string key = Lower(AName);
  for (auto& [name, handle] : *ModuleCache)
    if (Lower(name) == key) return handle;
  const std::string expanded = ExpandEnvironment(AName);
  const size_t slash = expanded.find_last_of("\\/");
  const std::string file = Lower(slash == std::string::npos ? expanded : expanded.substr(slash + 1));
  for (HMODULE m : Modules)
    if (file == m->FileName) {
      ModuleCache->emplace_back(AName, m);
      return m;
    }
  RaiseOSError(ERROR_MOD_NOT_FOUND);
}

void FreeCachedModules() {
  std::lock_guard<std::mutex> l(ModuleLock);
  if (ModuleCache) ModuleCache->clear();
}

TnoxShellLanguages& SystemStringCache() {
  static auto* cache = new TnoxShellLanguages;
  return *cache;
}

int SystemStringReadCount() { return ReadCount.load(); }

void TnoxModule::EnsureLoaded() {
  if (!FHandle) FHandle = GetCachedModule(FName);
}

std::string TnoxShellStrings::GetString(uint32_t AID) {
  TnoxShellLanguage* table = SystemStringCache().GetCurrent();
  const std::string key = GetName() + ",StringID" + std::to_string(AID);
  std::string text;
  if (table->TryGetValue(key, text)) return text;
  EnsureLoaded();
  ++ReadCount;
  text.clear();
  for (const TText& t : GetHandle()->Strings)
    if (t.ID == AID) text = IsRussianUI(table->GetLangID()) ? t.Russian : t.English;
  table->SetValue(key, text);
  return text;
}

std::string LoadUser32String(uint32_t AID) { return TnoxUser32Strings().GetString(AID); }
std::string LoadShell32String(uint32_t AID) { return TnoxShell32Strings().GetString(AID); }

void TnoxShellDialogStrings::LoadDialog() {
  if (FLoaded) return;
  EnsureLoaded();
  const bool russian = IsRussianUI(GetUILanguage());
  for (const TDialog& d : GetHandle()->Dialogs) {
    if (d.ID != FDialogID) continue;
    ++ReadCount;
    FCaption = russian ? d.RussianCaption : d.EnglishCaption;
    for (const TDialogItem& item : d.Items) FItems.emplace_back(russian ? item.Russian : item.English, item.ID);
    FLoaded = true;
    return;
  }
  RaiseOSError(ERROR_RESOURCE_NAME_NOT_FOUND);
}

std::string TnoxShellDialogStrings::GetString(uint32_t AID) {
  TnoxShellLanguage* table = SystemStringCache().GetCurrent();
  const std::string key =
      GetName() + ",DialogID" + std::to_string(FDialogID) + ",ID" + std::to_string(AID);
  std::string text;
  if (table->TryGetValue(key, text)) return text;
  LoadDialog();
  text.clear();
  if (AID == 0) {
    text = FCaption;
  } else {
    auto it = std::find_if(FItems.begin(), FItems.end(), [&](const auto& p) { return p.second == AID; });
    if (it != FItems.end()) text = it->first;
  }
  table->SetValue(key, text);
  return text;
}
