// Thread-safe text tables: one table maps a tag to a text for one
// user-interface language; a collection keeps one table per language and
// creates and fills it the first time that language is asked for.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "rtl/KvSysUtils.h"

using LANGID = uint16_t;

constexpr LANGID PrimaryLangID(LANGID lang) { return lang & 0x3FF; }

// Language ids the library knows by name (primary language | sublanguage << 10).
constexpr LANGID LANG_ENGLISH_US = 0x0409;
constexpr LANGID LANG_RUSSIAN_RU = 0x0419;

// 0 = none. When set, it is the user-interface language for every table.
extern std::atomic<LANGID> LanguageOverride;

// The current user-interface language: LanguageOverride when set, otherwise
// the language of the user's locale (LANGUAGE, LC_ALL, LC_MESSAGES, LANG).
LANGID GetUILanguage();
// The language id of a locale name such as "ru_RU.UTF-8" or "de"; English (US)
// for an empty or unknown name and for "C"/"POSIX".
LANGID LangIDFromLocaleName(const std::string& locale);

// A multi-reader, single-writer lock. A thread that holds it for writing may
// take it again, for reading or writing. A reader must not ask to write while
// it reads: nothing here does, readers never write.
class TnoxShellLockObject : public TObject {
public:
  void BeginRead();
  void EndRead();
  void BeginWrite();
  void EndWrite();

private:
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::thread::id FWriter;
  int FWriteDepth = 0;
  int FReaders = 0;
};

struct TnoxShellTagValue {
  std::string Tag;
  std::string Value;
};
using PnoxShellTagValue = TnoxShellTagValue*;

class TnoxShellLanguages;

// One language's table. Tags are unique and matched exactly (letter case counts).
class TnoxShellLanguage : public TnoxShellLockObject {
public:
  // With an owner, the table appends itself to the owner's list (and removes
  // itself again when it is destroyed).
  TnoxShellLanguage(TnoxShellLanguages* AOwner, LANGID ALangID);
  ~TnoxShellLanguage() override;

  LANGID GetLangID() const { return FLangID; }
  // The text of the tag, or the tag itself when the table has none.
  std::string GetValue(const std::string& ATag);
  bool TryGetValue(const std::string& ATag, std::string& AValue);
  // Replaces the text of an existing tag or appends a new record.
  void SetValue(const std::string& ATag, const std::string& AValue);
  void SetValueByIndex(int AIndex, const std::string& AValue);
  // Unlocked: for the thread that fills the table.
  int GetCount() const { return static_cast<int>(FItems.size()); }
  PnoxShellTagValue GetTagValue(int AIndex) const { return FItems.at(AIndex).get(); }

private:
  TnoxShellLanguages* FOwner;
  LANGID FLangID;
  std::vector<std::unique_ptr<TnoxShellTagValue>> FItems;
  // Tag -> index in FItems; the writer keeps it in step with every insertion,
  // so readers only look it up.
  std::unordered_map<std::string, size_t> FIndex;
};

// A collection of tables, one per language, created on first use.
class TnoxShellLanguages : public TnoxShellLockObject {
public:
  TnoxShellLanguages() = default;
  ~TnoxShellLanguages() override;
  TnoxShellLanguages(const TnoxShellLanguages&) = delete;
  TnoxShellLanguages& operator=(const TnoxShellLanguages&) = delete;

  int GetCount();
  TnoxShellLanguage* GetLang_(int AIndex);
  // The table of GetUILanguage(), created and filled on first use.
  TnoxShellLanguage* GetCurrent();
  // Fills a table just created; nothing in this class.
  virtual void FillLanguage(TnoxShellLanguage* ALanguage);

private:
  friend class TnoxShellLanguage;
  std::vector<TnoxShellLanguage*> FList;  // owned; each table removes itself
};
