#include "importers/KvOpenPlatformATMTurbo.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformATMTurbo.h"
#include "platforms/KvPlatformProfi.h"

TKvATMTurboMultiColorEngine::TKvATMTurboMultiColorEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource),
      FHeader(ASource.GetBytes().Sub(0, ATMGrfHeaderSize)),
      FData(ASource.GetBytes().Sub(ATMGrfHeaderSize)) {
  Width = 8 * FHeader.U8(130);
  Height = FHeader.U8(131);
  Bits = 4;
  PixelAspect = 1;  // "1:2"
  Description = "ATM Turbo" + GetSizeText() + " multicolor" + " image";
}

TKvMatchFlags TKvATMTurboMultiColorEngine::Match(TKvLoadSource& ASource) {
  const TKvBytes file = ASource.GetBytes();
  if (file.Size() < ATMGrfHeaderSize + 1 || !CheckATMGrfHeader(file, file.Size())) return 0;
  const int64_t LCount = static_cast<int64_t>(file.U8(130)) * file.U8(131);
  bool LExact = false;
  if (!CheckATMGrfRuns(file.Sub(ATMGrfHeaderSize + LCount), LCount, LExact)) return 0;
  TKvMatchFlags f = mfHeader;
  if (ASource.GetExtension() == ".grf") f |= mfExtension;
  if (LExact) f |= mfSize;
  return f;
}

std::unique_ptr<TKvBitmap> TKvATMTurboMultiColorEngine::Decode() {
  static const uint8_t kLevels[4] = {0, 85, 170, 255};
  Palette->Clear();
  for (int i = 0; i < 16; ++i) {
    const int e = 3 * i;  // green, red, blue digits
    Palette->AddRGB(kLevels[(FHeader.U8(e + 1) - '0') & 3], kLevels[(FHeader.U8(e) - '0') & 3],
                    kLevels[(FHeader.U8(e + 2) - '0') & 3]);
  }
  ColorCount = 16;
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  const int LColumns = FHeader.U8(130);
  const int64_t LCount = static_cast<int64_t>(LColumns) * Height;
  // The runs yield one attribute per pixel byte, then 0 once they end.
  const TKvBytes LRuns = FData.Sub(LCount);
  int64_t LRun = 0;
  int LLeft = 0;
  uint8_t LValue = 0;
  for (int c = 0; c < LColumns; ++c)
    for (int y = 0; y < Height; ++y) {
      while (LLeft == 0 && LRuns.Has(LRun, 2)) {
        LLeft = LRuns.U8(LRun);
        LValue = LRuns.U8(LRun + 1);
        LRun += 2;
      }
      uint8_t LAttr = 0;
      if (LLeft > 0) {
        LAttr = LValue;
        --LLeft;
      }
      int LPaper, LInk;
      DecodeProfiAttribute(LAttr, LPaper, LInk);
      PutInkPaperByte(LBitmap.get(), FData.U8(static_cast<int64_t>(c) * Height + y), LPaper, LInk, c, y, 8);
    }
  return LBitmap;
}

const std::vector<const TKvSourceEngineClass*>& ATMTurboSourceEngineClasses() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<TKvATMTurboMultiColorEngine>()};
  return LClasses;
}

void InitKvOpenPlatformATMTurbo() {
  for (const TKvSourceEngineClass* c : ATMTurboSourceEngineClasses()) RegisterSourceEngine(*c);
}
