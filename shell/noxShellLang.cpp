#include "shell/noxShellLang.h"

TnoxShellLangSourceList::~TnoxShellLangSourceList() {
  while (!FSources.empty()) FSources.pop_back();
}

void TnoxShellLangSourceList::Register(std::unique_ptr<TnoxShellLangSource> ASource) {
  FSources.push_back(std::move(ASource));
}

void TnoxShellLangSourceList::FillLanguage(TnoxShellLanguage* ALanguage) {
  for (auto& s : FSources) s->FillLanguage(ALanguage);
}

namespace {

const char* const EnglishTexts[12] = {
    "Information",
    "Confirmation",
    "Warning",
    "Calculating...",
    "Uploading...",
    "Next volumn is required",
    "You need to have the following volume to continue extraction:",
    "New  folder",
    "Enter new folder name:",
    "Error %s: %s",
    "No error description available",
    "Operation log:",
};

const char* const RussianTexts[12] = {
    "Информация",
    "Подтверждение",
    "Предупреждение",
    "Оценка...",
    "Отправка...",
    "Требуется следующий том",
    "Вы должны иметь следующий том для продолжения извлечения:",
    "Новая папка",
    "Введите имя новой папки:",
    "Ошибка %s: %s",
    "Отсутствует описание ошибки",
    "Лог операции:",
};

}  // namespace

void TnoxShellBaseLangSource::FillLanguage(TnoxShellLanguage* ALanguage) {
  for (int i = 0; i < 12; ++i) ALanguage->SetValueByIndex(i, EnglishTexts[i]);
  const LANGID primary = PrimaryLangID(ALanguage->GetLangID());
  if (primary == 25 || primary == 34 || primary == 35)  // Russian, Ukrainian, Belarusian
    for (int i = 0; i < 12; ++i) ALanguage->SetValueByIndex(i, RussianTexts[i]);
}

TnoxShellLangSourceList& ShellLangSources() {
  static TnoxShellLangSourceList* list = [] {
    auto* l = new TnoxShellLangSourceList;
    l->Register(std::make_unique<TnoxShellBaseLangSource>());
    return l;
  }();
  return *list;
}

std::string GetShellText(int AIndex) {
  return ShellLangSources().GetCurrent()->GetValue(std::to_string(AIndex));
}
