// The importers of Sinclair QL pictures: the 32 KB screens of mode 4 and
// mode 8 (recognised by their size) and GD2 ".pic" files (by their header).
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

// The converter's engines have the same names; this unit's classes live apart.
namespace KvOpenPlatformSinclairQL {

class TKvSinclairQL4Engine : public TKvSourceEngineOf<TKvSinclairQL4Engine> {
public:
  explicit TKvSinclairQL4Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;  // the screen, 128 bytes a line
};

class TKvSinclairQL8Engine : public TKvSourceEngineOf<TKvSinclairQL8Engine> {
public:
  explicit TKvSinclairQL8Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

class TKvSinclairQLPICEngine : public TKvSourceEngineOf<TKvSinclairQLPICEngine> {
public:
  explicit TKvSinclairQLPICEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FHeader;
  TKvBytes FPixels;  // the rows, from offset 10
  int FMode;
};

}  // namespace KvOpenPlatformSinclairQL

void InitKvOpenPlatformSinclairQL();
