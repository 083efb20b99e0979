#include "importers/KvOpenPlatformElementZX.h"

#include <string>

#include "core/KvBitmap.h"

namespace KvOpenPlatformElementZX {

namespace {

constexpr int32_t kHrcMonoSize = 12288;
constexpr int32_t kHrcSize = 15360;
constexpr int32_t kHrxcSize = 15456;
constexpr int kAttributes = 12288;
constexpr int kPalette = 15360;

// The second layer of a ".hrxc1" file: the same name with ".hrxc2", of the
// same size; nullptr when there is none.
const TKvLoadSourceRec* SecondLayer(TKvLoadSource& ASource) {
  const std::string& LName = ASource.GetFileName();
  if (LName.size() < 6) return nullptr;
  const TKvLoadSourceRec* r = ASource.GetFile(LName.substr(0, LName.size() - 6) + ".hrxc2");
  return r && r->Data && r->Size == kHrxcSize ? r : nullptr;
}

void SetUp(TKvSourceEngine& AEngine, int ABits, const char* AKind) {
  AEngine.Width = 512;
  AEngine.Height = 192;
  AEngine.Bits = ABits;
  AEngine.PixelAspect = 1;  // "1:2"
  AEngine.Description = "eLeMeNt ZX" + AEngine.GetSizeText() + AKind + " image";
}

// The 32 colours at 15360 (blue, green, red each) appended to APalette.
void AddHrxcPalette(TKvPalette256& APalette, const TKvBytes& AData) {
  for (int i = 0; i < 32; ++i) {
    const int e = kPalette + 3 * i;
    APalette.AddRGB(AData.U8(e + 2), AData.U8(e + 1), AData.U8(e));
  }
}

// The palette entry of pixel (x, y): a set bit shows the ink of the high
// nibble (entries 16..31), a clear one the paper of the low nibble (0..15).
int HrxcEntry(const TKvBytes& AData, int X, int Y) {
  const uint8_t a = AData.U8(kAttributes + (Y / 4) * 64 + X / 8);
  const bool set = (AData.U8(Y * 64 + X / 8) >> (7 - (X & 7))) & 1;
  return set ? 16 + (a >> 4) : (a & 15);
}

}  // namespace

TKvElementZXHRCEngine::TKvElementZXHRCEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes()), FColor(FData.Size() == kHrcSize) {
  SetUp(*this, FColor ? 4 : 1, " HRC");
}

TKvMatchFlags TKvElementZXHRCEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != kHrcMonoSize && ASource.GetSize() != kHrcSize) return 0;
  return ASource.GetExtension() == ".hrc" ? mfSize | mfExtension : mfSize;
}

std::unique_ptr<TKvBitmap> TKvElementZXHRCEngine::Decode() {
  if (!FColor) {
    SetMonoPalette(true);
    auto LBitmap = std::make_unique<TKvBitmap1>(Width, Height, Palette.get());
    for (int y = 0; y < Height; ++y) FData.Read(y * 64, LBitmap->GetScanline(y), 64);
    return LBitmap;
  }
  SetZxSpectrumPalette(182);
  auto LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y)
    for (int c = 0; c < 64; ++c) {
      int LPaper, LInk;
      DecodeZxAttribute(FData.U8(kAttributes + (y / 4) * 64 + c), LPaper, LInk);
      PutInkPaperByte(LBitmap.get(), FData.U8(y * 64 + c), LPaper, LInk, c, y, 8);
    }
  return LBitmap;
}

TKvElementZXHRXCEngine::TKvElementZXHRXCEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, kHrxcSize)) {
  SetUp(*this, 4, " HRXC");
}

TKvMatchFlags TKvElementZXHRXCEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != kHrxcSize) return 0;
  return ASource.GetExtension() == ".hrxc" ? mfSize | mfExtension : mfSize;
}

std::unique_ptr<TKvBitmap> TKvElementZXHRXCEngine::Decode() {
  Palette->Clear();
  AddHrxcPalette(*Palette, FData);
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) LBitmap->SetPixel(x, y, HrxcEntry(FData, x, y));
  return LBitmap;
}

TKvElementZXLayerHRXCEngine::TKvElementZXLayerHRXCEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource), FData(ASource.GetBytes().Sub(0, kHrxcSize)) {
  if (const TKvLoadSourceRec* r = SecondLayer(ASource)) FData2 = r->View();
  SetUp(*this, 8, " Layer HRXC");
}

TKvMatchFlags TKvElementZXLayerHRXCEngine::Match(TKvLoadSource& ASource) {
  if (ASource.GetSize() != kHrxcSize || ASource.GetExtension() != ".hrxc1" || !SecondLayer(ASource)) return 0;
  return mfSize | mfExtension;
}

std::unique_ptr<TKvBitmap> TKvElementZXLayerHRXCEngine::Decode() {
  Palette->Clear();
  AddHrxcPalette(*Palette, FData);
  if (!FData2.Empty()) AddHrxcPalette(*Palette, FData2);
  ColorCount = 32;
  auto LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  // Layer 1's first paper colour is transparent: layer 2 shows there.
  for (int y = 0; y < Height; ++y)
    for (int x = 0; x < Width; ++x) {
      int v = HrxcEntry(FData, x, y);
      if (v == 0 && !FData2.Empty()) v = 32 + HrxcEntry(FData2, x, y);
      LBitmap->SetPixel(x, y, v);
    }
  return LBitmap;
}

}  // namespace KvOpenPlatformElementZX

const std::vector<const TKvSourceEngineClass*>& ElementZXSourceEngineClasses() {
  using namespace KvOpenPlatformElementZX;
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<TKvElementZXHRCEngine>(), &SourceEngineClass<TKvElementZXHRXCEngine>(),
      &SourceEngineClass<TKvElementZXLayerHRXCEngine>()};
  return LClasses;
}

void InitKvOpenPlatformElementZX() {
  for (const TKvSourceEngineClass* c : ElementZXSourceEngineClasses()) RegisterSourceEngine(*c);
}
