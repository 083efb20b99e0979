// Language sources fill the text tables; the library's own source holds its
// texts in English and Russian, read with GetShellText.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "shell/noxShellCommonLang.h"

class TnoxShellLangSource : public TObject {
public:
  virtual void FillLanguage(TnoxShellLanguage* ALanguage) = 0;
};

// The collection whose tables are filled by every registered source in
// registration order, so a later source overrides an earlier one.
class TnoxShellLangSourceList : public TnoxShellLanguages {
public:
  TnoxShellLangSourceList() = default;
  ~TnoxShellLangSourceList() override;

  void Register(std::unique_ptr<TnoxShellLangSource> ASource);
  int GetSourceCount() const { return static_cast<int>(FSources.size()); }
  TnoxShellLangSource* GetObj(int AIndex) const { return FSources.at(AIndex).get(); }
  void FillLanguage(TnoxShellLanguage* ALanguage) override;

private:
  std::vector<std::unique_ptr<TnoxShellLangSource>> FSources;
};

// The library's 12 texts: English, with the Russian texts over them for
// Russian, Ukrainian and Belarusian.
class TnoxShellBaseLangSource : public TnoxShellLangSource {
public:
  void FillLanguage(TnoxShellLanguage* ALanguage) override;
};

// The one source list, with the library's own source registered.
TnoxShellLangSourceList& ShellLangSources();

// Text AIndex (0..11) in the current user-interface language; any other index
// gives its own decimal text.
std::string GetShellText(int AIndex);
