// Importers of the eLeMeNt ZX 512x192 screens: ".hrc" (plain rows, and
// 8x4 Spectrum attributes in the colour size), ".hrxc" (8x4 cells of a
// paper and an ink from two palettes of 16 free colours), and the layered
// pair ".hrxc1" + ".hrxc2", the second showing through the first's paper 0.
#pragma once

#include <memory>
#include <vector>

#include "app/KvSourceEngines.h"

class TKvBitmap;

// The converter's engines have the same names; this unit's classes live
// apart.
namespace KvOpenPlatformElementZX {

class TKvElementZXHRCEngine : public TKvSourceEngineOf<TKvElementZXHRCEngine> {
public:
  explicit TKvElementZXHRCEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
  bool FColor;
};

class TKvElementZXHRXCEngine : public TKvSourceEngineOf<TKvElementZXHRXCEngine> {
public:
  explicit TKvElementZXHRXCEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
};

class TKvElementZXLayerHRXCEngine : public TKvSourceEngineOf<TKvElementZXLayerHRXCEngine> {
public:
  explicit TKvElementZXLayerHRXCEngine(TKvLoadSource& ASource);
  static TKvMatchFlags Match(TKvLoadSource& ASource);
  std::unique_ptr<TKvBitmap> Decode() override;

private:
  TKvBytes FData;
  TKvBytes FData2;  // the second layer, or nothing
};

}  // namespace KvOpenPlatformElementZX

const std::vector<const TKvSourceEngineClass*>& ElementZXSourceEngineClasses();
void InitKvOpenPlatformElementZX();
