// Importers of the PMD 85 screen files: ".85a" to ".85f", one per fixed
// palette kind, and the ColorAce ".85h". Every 16384-byte file is offered by
// all of them; the one of its extension ranks first.
#pragma once

#include <memory>
#include <string>

#include "app/KvSourceEngines.h"
#include "core/KvPaletteRGB.h"

// The importers' own classes, scoped by their unit (the converter unit has a
// class of the same name).
namespace KvOpenPlatformPMD85 {

// The fixed-palette reading; T gives GetFileExtension and GetFilePaletteType.
class TKvPMD85Engine : public TKvSourceEngine {
public:
  TKvPMD85Engine(TKvLoadSource& ASource, TKvPaletteType AType);
  std::unique_ptr<TKvBitmap> Decode() override;
  static TKvMatchFlags MatchExtension(TKvLoadSource& ASource, const char* AExtension);

private:
  TKvBytes FData;  // the screen, 64 bytes a line
};

template <class T, char Letter, TKvPaletteType Type>
class TKvPMD85EngineOf : public TKvPMD85Engine {
public:
  explicit TKvPMD85EngineOf(TKvLoadSource& ASource) : TKvPMD85Engine(ASource, Type) {}
  static std::string GetFileExtension() { return std::string(".85") + Letter; }
  static TKvPaletteType GetFilePaletteType() { return Type; }
  static TKvMatchFlags Match(TKvLoadSource& ASource) {
    return MatchExtension(ASource, GetFileExtension().c_str());
  }
  const TKvSourceEngineClass& ClassType() const override { return SourceEngineClass<T>(); }
};

class TKvPMD85AEngine : public TKvPMD85EngineOf<TKvPMD85AEngine, 'a', ptPMD85A> {
public:
  using TKvPMD85EngineOf::TKvPMD85EngineOf;
};
class TKvPMD85BEngine : public TKvPMD85EngineOf<TKvPMD85BEngine, 'b', ptPMD85B> {
public:
  using TKvPMD85EngineOf::TKvPMD85EngineOf;
};
class TKvPMD85CEngine : public TKvPMD85EngineOf<TKvPMD85CEngine, 'c', ptPMD85C> {
public:
  using TKvPMD85EngineOf::TKvPMD85EngineOf;
};
class TKvPMD85DEngine : public TKvPMD85EngineOf<TKvPMD85DEngine, 'd', ptPMD85D> {
public:
  using TKvPMD85EngineOf::TKvPMD85EngineOf;
};
class TKvPMD85EEngine : public TKvPMD85EngineOf<TKvPMD85EEngine, 'e', ptPMD85E> {
public:
  using TKvPMD85EngineOf::TKvPMD85EngineOf;
};
class TKvPMD85FEngine : public TKvPMD85EngineOf<TKvPMD85FEngine, 'f', ptPMD85F> {
public:
  using TKvPMD85EngineOf::TKvPMD85EngineOf;
};

// The ColorAce reading: one of 8 colours per 6 x 2 cell.
class TKvPMD85HEngine : public TKvSourceEngineOf<TKvPMD85HEngine> {
public:
  explicit TKvPMD85HEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;  // the screen, 64 bytes a line
};

}  // namespace KvOpenPlatformPMD85

void InitKvOpenPlatformPMD85();
