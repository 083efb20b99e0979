// Importers of the Elektronika MS 0515 "scr" screens: every 16000-byte file
// is offered as the 320 x 200 colour screen and as the 640 x 200 black and
// white one.
#pragma once

#include <memory>

#include "app/KvSourceEngines.h"

// The importers' own classes, scoped by their unit (the converter unit has a
// class of the same name).
namespace KvOpenPlatformElectronikaMS0515 {

class TKvMS0515Engine : public TKvSourceEngineOf<TKvMS0515Engine> {
public:
  explicit TKvMS0515Engine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

class TKvMS0515BWEngine : public TKvSourceEngineOf<TKvMS0515BWEngine> {
public:
  explicit TKvMS0515BWEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

}  // namespace KvOpenPlatformElectronikaMS0515

void InitKvOpenPlatformElectronikaMS0515();
