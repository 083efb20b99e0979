// MSX2 and MSX2+ screens written by the converters open again through the
// importer probe as the best candidate and show the preview's colours: the
// BSAVE files with their odd-line files, and the GL pictures with their
// palette files, under both level scales.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "KvTestHarness.h"
#include "importers/MSXTestFiles.h"
#include "platforms/KvSavePlatformMSX.h"

namespace {

// Twelve colours in blocks: few enough that the palette modes keep them
// all, so a full-size conversion stays quick.
std::unique_ptr<TBitmap32> BlockPicture(int AWidth, int AHeight) {
  static const uint32_t kColors[12] = {0x000000, 0xFFFFFF, 0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00,
                                       0x00FFFF, 0xFF00FF, 0x808080, 0x804000, 0x4080C0, 0xC0C0C0};
  auto b = std::make_unique<TBitmap32>(AWidth, AHeight);
  for (int y = 0; y < AHeight; ++y)
    for (int x = 0; x < AWidth; ++x) *b->GetPixelPtr(x, y) = 0xFF000000u | kColors[(x / 13 + y / 7 * 5) % 12];
  return b;
}

// Opens stream AExt of the conversion (its sub-streams beside it) as
// "pic.<ext>" and compares it with the preview.
void ExpectRoundTrip(const TKvConversion& AConversion, const std::string& AExt, const std::string& AImporter,
                     TKvPaletteType AType) {
  SCOPED_TRACE(AExt + " " + AImporter);
  TKvStream* main = nullptr;
  for (int i = 0; i < AConversion.Streams->GetCount(); ++i)
    if (AConversion.Streams->GetExtension(i) == AExt) main = AConversion.Streams->GetStream(i);
  ASSERT_NE(main, nullptr);
  TKvTestFiles files("pic." + AExt, MSXBytes(main->GetMemory(), main->GetSize()));
  for (int j = 0; j < main->GetSubStreamCount(); ++j) {
    TKvStream* s = main->GetSubStream(j);
    files.Add("pic." + s->GetExtension(), MSXBytes(s->GetMemory(), s->GetSize()));
  }
  // A MAG picture has no fixed size: it matches by header and extension.
  ExpectMSXRoundTrip(files, *AConversion.Preview, AImporter, AType, false,
                     AExt == "mag" ? mfHeader | mfExtension : mfHeader | mfExtension | mfSize);
}

// One conversion and the files of it that are opened again.
struct TCase {
  const TKvDestEngineClass* Class;
  int W, H;
  std::vector<std::pair<const char*, const char*>> Files;  // extension, importer
};

void RunCases(std::initializer_list<TCase> ACases, TKvPaletteType AType, bool ABlocks) {
  for (const TCase& c : ACases) {
    SCOPED_TRACE(c.Class->GetModeName() + " " + std::to_string(c.W) + "x" + std::to_string(c.H));
    auto pic = ABlocks ? BlockPicture(c.W, c.H) : GradientPicture(c.W, c.H, 40);
    auto r = ConvertPicture(*c.Class, *pic, [&](TKvDestEngineOptions& o) {
      if (AType != ptMSX9958 || c.Class->GetModeName().starts_with("1")) return;
      o.SetPaletteType(AType);
      o.UpdatePalette();
    });
    for (const auto& [ext, importer] : c.Files) ExpectRoundTrip(r, ext, importer, AType);
  }
}

void Screen5(TKvPaletteType AType) {
  RunCases({{&DestEngineClass<TKvMSXScr5Engine>(), 256, 212, {{"sc5", "TKvSC5Engine"}, {"gl5", "TKvGL5Engine"}}},
            {&DestEngineClass<TKvMSXScr5Engine>(), 200, 100, {{"gl5", "TKvGL5Engine"}}},
            {&DestEngineClass<TKvMSXScr5InterlacedEngine>(), 256, 424, {{"sc5", "TKvSC5Engine"}}}},
           AType, true);
}

void Screen6(TKvPaletteType AType) {
  RunCases({{&DestEngineClass<TKvMSXScr6Engine>(), 512, 212, {{"sc6", "TKvSC6Engine"}, {"gl6", "TKvGL6Engine"}}},
            {&DestEngineClass<TKvMSXScr6Engine>(), 511, 212, {{"gl6", "TKvGL6Engine"}}},
            {&DestEngineClass<TKvMSXScr6Engine>(), 200, 100, {{"gl6", "TKvGL6Engine"}}},
            {&DestEngineClass<TKvMSXScr6InterlacedEngine>(), 512, 424, {{"sc6", "TKvSC6Engine"}}}},
           AType, true);
}

void Screen7(TKvPaletteType AType) {
  RunCases({{&DestEngineClass<TKvMSXScr7Engine>(), 512, 212, {{"sc7", "TKvSC7Engine"}, {"gl7", "TKvGL7Engine"}}},
            {&DestEngineClass<TKvMSXScr7Engine>(), 200, 100, {{"gl7", "TKvGL7Engine"}}},
            {&DestEngineClass<TKvMSXScr7InterlacedEngine>(), 512, 424, {{"sc7", "TKvSC7Engine"}}}},
           AType, true);
}

void Screen8(TKvPaletteType AType) {
  RunCases({{&DestEngineClass<TKvMSXScr8Engine>(), 256, 212, {{"sc8", "TKvSC8Engine"}, {"gl8", "TKvGL8Engine"}}},
            {&DestEngineClass<TKvMSXScr8Engine>(), 250, 100, {{"gl8", "TKvGL8Engine"}}},
            {&DestEngineClass<TKvMSXScr8InterlacedEngine>(), 256, 424, {{"sc8", "TKvSC8Engine"}}}},
           AType, false);
}

TEST(KvMSX2RoundTrip, Screen5V9938Levels) { Screen5(ptMSX9938); }
TEST(KvMSX2RoundTrip, Screen5V9958Levels) { Screen5(ptMSX9958); }
TEST(KvMSX2RoundTrip, Screen6V9938Levels) { Screen6(ptMSX9938); }
TEST(KvMSX2RoundTrip, Screen6V9958Levels) { Screen6(ptMSX9958); }
TEST(KvMSX2RoundTrip, Screen7V9938Levels) { Screen7(ptMSX9938); }
TEST(KvMSX2RoundTrip, Screen7V9958Levels) { Screen7(ptMSX9958); }
TEST(KvMSX2RoundTrip, Screen8V9938Levels) { Screen8(ptMSX9938); }
TEST(KvMSX2RoundTrip, Screen8V9958Levels) { Screen8(ptMSX9958); }

// The MAG pictures of the bitmap screens, at the native size and a free one.
TEST(KvMSX2RoundTrip, MagPictures) {
  RunCases({{&DestEngineClass<TKvMSXScr5Engine>(), 256, 212, {{"mag", "TKvMAGv2Engine"}}},
            {&DestEngineClass<TKvMSXScr5Engine>(), 200, 100, {{"mag", "TKvMAGv2Engine"}}},
            {&DestEngineClass<TKvMSXScr6Engine>(), 512, 212, {{"mag", "TKvMAGv2Engine"}}},
            {&DestEngineClass<TKvMSXScr7Engine>(), 512, 212, {{"mag", "TKvMAGv2Engine"}}},
            {&DestEngineClass<TKvMSXScr7InterlacedEngine>(), 512, 424, {{"mag", "TKvMAGv2Engine"}}}},
           ptMSX9938, true);
  RunCases({{&DestEngineClass<TKvMSXScr8Engine>(), 256, 212, {{"mag", "TKvMAGv2Engine"}}},
            {&DestEngineClass<TKvMSXScr12Engine>(), 256, 212, {{"mag", "TKvMAGv2Engine"}}}},
           ptMSX9938, false);
}

TEST(KvMSX2RoundTrip, Screen12) {
  RunCases({{&DestEngineClass<TKvMSXScr12Engine>(), 256, 212, {{"scc", "TKvSCCEngine"}, {"glc", "TKvGLCEngine"}}},
            {&DestEngineClass<TKvMSXScr12Engine>(), 252, 100, {{"glc", "TKvGLCEngine"}}},
            {&DestEngineClass<TKvMSXScr12InterlacedEngine>(), 256, 424, {{"scc", "TKvSCCEngine"}}}},
           ptMSX9958, false);
}

TEST(KvMSX2RoundTrip, Screen10) {
  for (TKvPaletteType type : {ptMSXYJK, ptMSXYJK_YAE}) {
    SCOPED_TRACE(int(type));
    for (const TCase& c :
         {TCase{&DestEngineClass<TKvMSXScr10Engine>(), 256, 212, {{"sca", "TKvSCAEngine"}, {"gla", "TKvGLAEngine"}}},
          TCase{&DestEngineClass<TKvMSXScr10Engine>(), 200, 100, {{"gla", "TKvGLAEngine"}}},
          TCase{&DestEngineClass<TKvMSXScr10InterlacedEngine>(), 256, 424, {{"sca", "TKvSCAEngine"}}}}) {
      auto pic = GradientPicture(c.W, c.H, 41);
      auto r = ConvertPicture(*c.Class, *pic, [&](TKvDestEngineOptions& o) {
        o.SetPaletteType(type);
        o.UpdatePalette();
      });
      for (const auto& [ext, importer] : c.Files) ExpectRoundTrip(r, ext, importer, ptMSX9958);
    }
  }
}

// Black and white, and gray, keep their own palettes in the files.
TEST(KvMSX2RoundTrip, Screen5And8OtherPaletteModes) {
  auto pic = GradientPicture(256, 212, 42);
  for (TKvPaletteMode mode : {pmBlackWhite, pmGray}) {
    SCOPED_TRACE(int(mode));
    auto r5 = ConvertPicture(DestEngineClass<TKvMSXScr5Engine>(), *pic,
                             [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    ExpectRoundTrip(r5, "sc5", "TKvSC5Engine", ptMSX9938);
    ExpectRoundTrip(r5, "gl5", "TKvGL5Engine", ptMSX9938);
    auto r8 = ConvertPicture(DestEngineClass<TKvMSXScr8Engine>(), *pic,
                             [&](TKvDestEngineOptions& o) { o.SetPaletteMode(mode); });
    ExpectRoundTrip(r8, "sc8", "TKvSC8Engine", ptMSX9938);
  }
}

}  // namespace
