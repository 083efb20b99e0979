#include "shell/noxShellLang.h"
#include "shell/noxShellStrings.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Sets the user-interface language for one test.
struct TLanguageScope {
  explicit TLanguageScope(LANGID lang) : Saved(LanguageOverride.load()) { LanguageOverride = lang; }
  ~TLanguageScope() { LanguageOverride = Saved; }
  LANGID Saved;
};

}  // namespace

TEST(GetShellText, ChoosesTheTextsByUserInterfaceLanguage) {
  const struct { LANGID lang; const char* text9; const char* text10; } cases[] = {
      {0x0419, "Ошибка %s: %s", "Отсутствует описание ошибки"},
      {0x0422, "Ошибка %s: %s", "Отсутствует описание ошибки"},
      {0x0423, "Ошибка %s: %s", "Отсутствует описание ошибки"},
      {0x0409, "Error %s: %s", "No error description available"},
      {0x0407, "Error %s: %s", "No error description available"},
  };
  for (const auto& c : cases) {
    TLanguageScope scope(c.lang);
    EXPECT_EQ(GetShellText(9), c.text9) << std::hex << c.lang;
    EXPECT_EQ(GetShellText(10), c.text10) << std::hex << c.lang;
  }
  TLanguageScope scope(0x0409);
  EXPECT_EQ(GetShellText(11), "Operation log:");
  EXPECT_EQ(GetShellText(7), "New  folder");
  EXPECT_EQ(GetShellText(12), "12");
  EXPECT_EQ(GetShellText(-1), "-1");
}

TEST(LangIDFromLocaleName, ReadsThePrimaryLanguage) {
  EXPECT_EQ(LangIDFromLocaleName("ru_RU.UTF-8"), 0x0419);
  EXPECT_EQ(LangIDFromLocaleName("uk_UA"), 0x0422);
  EXPECT_EQ(LangIDFromLocaleName("be"), 0x0423);
  EXPECT_EQ(LangIDFromLocaleName("de_DE@euro"), 0x0407);
  EXPECT_EQ(LangIDFromLocaleName("C"), 0x0409);
  EXPECT_EQ(LangIDFromLocaleName(""), 0x0409);
}

TEST(TnoxShellLanguage, LooksUpSetsAndReplacesTags) {
  TnoxShellLanguage table(nullptr, 0x0409);
  std::string v;
  EXPECT_EQ(table.GetValue("missing"), "missing");
  EXPECT_FALSE(table.TryGetValue("missing", v));
  EXPECT_EQ(v, "missing");
  table.SetValue("Tag", "one");
  EXPECT_EQ(table.GetValue("Tag"), "one");   // found after a lookup had built the index
  EXPECT_EQ(table.GetValue("tag"), "tag");   // letter case counts
  table.SetValue("Tag", "two");
  EXPECT_EQ(table.GetCount(), 1);
  EXPECT_EQ(table.GetValue("Tag"), "two");
  table.SetValueByIndex(5, "five");
  EXPECT_TRUE(table.TryGetValue("5", v));
  EXPECT_EQ(v, "five");
  EXPECT_EQ(table.GetTagValue(1)->Tag, "5");
}

namespace {

class TCountingLanguages : public TnoxShellLanguages {
public:
  int Fills = 0;
  void FillLanguage(TnoxShellLanguage* l) override {
    ++Fills;
    l->SetValue("lang", std::to_string(l->GetLangID()));
  }
};

}  // namespace

TEST(TnoxShellLanguages, CreatesAndFillsEachLanguageOnce) {
  TCountingLanguages langs;
  {
    TLanguageScope scope(0x0409);
    TnoxShellLanguage* a = langs.GetCurrent();
    EXPECT_EQ(langs.GetCurrent(), a);
    EXPECT_EQ(langs.Fills, 1);
    EXPECT_EQ(a->GetValue("lang"), "1033");
  }
  {
    TLanguageScope scope(0x0419);
    EXPECT_EQ(langs.GetCurrent()->GetLangID(), 0x0419);
  }
  EXPECT_EQ(langs.GetCount(), 2);
  EXPECT_EQ(langs.Fills, 2);
  delete langs.GetLang_(0);  // a table leaves its collection when destroyed
  EXPECT_EQ(langs.GetCount(), 1);
}

TEST(TnoxShellLanguage, ManyReadersAndAWriterAtOnce) {
  TnoxShellLanguage table(nullptr, 0x0409);
  for (int i = 0; i < 50; ++i) table.SetValueByIndex(i, std::string("v").append(std::to_string(i)));
  std::vector<std::thread> threads;
  std::atomic<int> bad{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int n = 0; n < 2000; ++n)
        if (table.GetValue(std::to_string(n % 50)) != std::string("v").append(std::to_string(n % 50))) ++bad;
    });
  threads.emplace_back([&] {
    for (int n = 50; n < 1000; ++n) table.SetValueByIndex(n, "w");
  });
  for (auto& t : threads) t.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(table.GetCount(), 1000);
  EXPECT_EQ(table.GetValue("999"), "w");
}

TEST(TnoxShellLockObject, TheWriterMayTakeTheLockAgain) {
  TnoxShellLockObject lock;
  lock.BeginWrite();
  lock.BeginRead();
  lock.BeginWrite();
  lock.EndWrite();
  lock.EndRead();
  lock.EndWrite();
  lock.BeginRead();
  lock.BeginRead();
  lock.EndRead();
  lock.EndRead();
  SUCCEED();
}

TEST(SystemStrings, ButtonCaptionsAndErrorTextsPerLanguage) {
  const struct { uint32_t id; const char* en; const char* ru; } user32[] = {
      {2, "Error", "Ошибка"}, {800, "OK", "ОК"}, {801, "Cancel", "Отмена"}, {802, "&Abort", "&Прервать"},
      {803, "&Retry", "&Повторить"}, {804, "&Ignore", "П&ропустить"}, {805, "&Yes", "&Да"},
      {806, "&No", "&Нет"}, {808, "Help", "Справка"}, {12345, "", ""}};
  for (const auto& c : user32) {
    {
      TLanguageScope scope(0x0409);
      EXPECT_EQ(LoadUser32String(c.id), c.en) << c.id;
    }
    TLanguageScope scope(0x0419);
    EXPECT_EQ(LoadUser32String(c.id), c.ru) << c.id;
  }
  TLanguageScope scope(0x0409);
  EXPECT_EQ(LoadShell32String(13602), "&Skip");
  EXPECT_EQ(LoadShell32String(16873), "Error 0x%08lX: %s");
  EXPECT_FALSE(LoadShell32String(16874).empty());
  TnoxShell32DialogStrings dialog(1010);
  EXPECT_EQ(dialog.GetString(7), LoadShell32String(13602));
  EXPECT_EQ(dialog.GetString(0), "File Operation");
  EXPECT_EQ(dialog.GetString(99), "");
}

TEST(SystemStrings, ReadOncePerLanguageAndCachedUnderTheNameAsGiven) {
  TLanguageScope scope(0x0407);
  const int before = SystemStringReadCount();
  EXPECT_EQ(LoadUser32String(801), "Cancel");
  EXPECT_EQ(LoadUser32String(801), "Cancel");
  EXPECT_EQ(SystemStringReadCount(), before + 1);
  {
    TLanguageScope other(0x0422);
    EXPECT_EQ(LoadUser32String(801), "Отмена");
    EXPECT_EQ(SystemStringReadCount(), before + 2);
  }
  TnoxShellStrings upper("USER32.DLL"), lower("user32.dll");
  upper.EnsureLoaded();
  lower.EnsureLoaded();
  EXPECT_EQ(upper.GetHandle(), lower.GetHandle());
  EXPECT_EQ(upper.GetString(801), "Cancel");  // a new key: read again
  EXPECT_EQ(SystemStringReadCount(), before + 3);
  std::string v;
  EXPECT_TRUE(SystemStringCache().GetCurrent()->TryGetValue("USER32.DLL,StringID801", v));
  EXPECT_TRUE(SystemStringCache().GetCurrent()->TryGetValue("user32.dll,StringID801", v));
}

TEST(SystemStrings, MissingModulesAndDialogsRaiseTheirErrors) {
  TnoxShellStrings missing("nosuch.dll");
  try {
    missing.GetString(1);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 126u);
  }
  TnoxShell32DialogStrings dialog(4242);
  try {
    dialog.GetString(1);
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 1814u);
  }
  // A path with an environment variable in front still finds the module.
  setenv("KV_TEST_SYSROOT", "C:\\Windows", 1);
  TnoxShellStrings pathed("%KV_TEST_SYSROOT%\\System32\\shell32.dll");
  TLanguageScope scope(0x0409);
  EXPECT_EQ(pathed.GetString(13602), "&Skip");
}
