#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/KvThreadJob.h"
#include "KvTestHarness.h"
#include "importers/KvOpenPlatformElektronikaKR04.h"
#include "platforms/KvPlatformElektronikaKR04.h"
#include "platforms/KvSavePlatformElektronikaKR04.h"

namespace {

std::vector<uint8_t> KrsFile(uint8_t AFlags, int W, int H, int64_t ADelta = 0) {
  std::vector<uint8_t> f(static_cast<size_t>(KR04FileSize(AFlags, W, H) + ADelta), 0);
  InitKR04Header(f.data(), AFlags, 0, static_cast<uint16_t>(W), static_cast<uint16_t>(H));
  return f;
}

bool Offered(const std::string& AName, const std::vector<uint8_t>& ABytes) {
  return TKvProbe(AName, ABytes).Find("TKvKR04Engine") != nullptr;
}

TEST(KvOpenPlatformElektronikaKR04, MatchDescriptionsAndBadInput) {
  auto f = KrsFile(0, 480, 224);
  ASSERT_EQ(f.size(), 13452u);
  TKvProbe probe("a.krs", f);
  EXPECT_EQ(probe.Flags("TKvKR04Engine"), 11);
  EXPECT_EQ(probe.Position("TKvKR04Engine"), 0);
  EXPECT_EQ(TKvProbe("a.bin", f).Flags("TKvKR04Engine"), 9);
  struct {
    uint8_t Flags;
    int W;
    const char* Description;
    int Aspect;
  } cases[] = {
      {0, 480, "Elektronika KR-04 480x224x1 B/W image", 5},
      {4, 480, "Elektronika KR-04 480x224x2 B/W gigascreen image", 5},
      {1, 240, "Elektronika KR-04 240x224x2 color image", 15},
      {5, 240, "Elektronika KR-04 240x224x4 color gigascreen image", 15},
      {3, 240, "Elektronika KR-04 240x224x2 EGA image", 15},
      {7, 240, "Elektronika KR-04 240x224x4 EGA gigascreen image", 15},
      {2, 480, "Elektronika KR-04 480x224x1 B/W EGA image", 5},
  };
  for (auto& c : cases) {
    TKvProbe p("a.krs", KrsFile(c.Flags, c.W, 224));
    TKvSourceEngine* e = p.Find("TKvKR04Engine");
    ASSERT_NE(e, nullptr) << c.Description;
    EXPECT_EQ(e->Description, c.Description);
    EXPECT_EQ(e->PixelAspect, c.Aspect);
  }
  // A byte more or less than the header says, a zero width or height,
  // another magic, an empty file: no candidate.
  EXPECT_FALSE(Offered("a.krs", KrsFile(0, 480, 224, 1)));
  EXPECT_FALSE(Offered("a.krs", KrsFile(7, 240, 224, -1)));
  EXPECT_FALSE(Offered("a.krs", KrsFile(0, 0, 224, 10)));
  EXPECT_FALSE(Offered("a.krs", KrsFile(0, 480, 0, 10)));
  auto magic = f;
  magic[0] = 'k';
  EXPECT_FALSE(Offered("a.krs", magic));
  EXPECT_FALSE(Offered("a.krs", {}));
  EXPECT_FALSE(Offered("a.krs", std::vector<uint8_t>(f.begin(), f.begin() + 12)));
}

TEST(KvOpenPlatformElektronikaKR04, DecodesLayoutsAndPalettes) {
  // 1 bit: pixel (0, 0) is bit 0 of byte 12.
  auto bw = KrsFile(0, 480, 224);
  bw[12] = 0x01;
  bw[12 + 60 + 59] = 0x80;  // (479, 1)
  auto b = TKvProbe("a.krs", bw).Find("TKvKR04Engine")->Decode();
  ASSERT_EQ(b->Width, 480);
  EXPECT_EQ(b->Palette->Count, 2);
  EXPECT_EQ(b->GetPixel(0, 0), 1);
  EXPECT_EQ(b->GetPixel(1, 0), 0);
  EXPECT_EQ(b->GetPixel(479, 1), 1);

  // EGA: byte 7 = 3 makes entry 0 red, the others black; pixel values from
  // the low and high nibbles.
  auto ega = KrsFile(3, 6, 1);
  ega[7] = 0x03;
  ega[12] = 0x31;  // x 0 = 3, x 1 = 2
  ega[13] = 0x11;  // x 4 = 3
  TKvProbe pe("a.krs", ega);
  auto e = pe.Find("TKvKR04Engine")->Decode();
  ASSERT_EQ(e->Palette->Count, 4);
  EXPECT_EQ(e->Palette->GetStdRGB(0), StdRGBColor(255, 0, 0));
  for (int i = 1; i < 4; ++i) EXPECT_EQ(e->Palette->GetStdRGB(i), StdRGBColor(0, 0, 0));
  const int expect[6] = {3, 2, 0, 0, 3, 0};
  for (int x = 0; x < 6; ++x) EXPECT_EQ(e->GetPixel(x, 0), expect[x]) << x;

  // Without a palette: black, blue, green, red.
  auto col = KrsFile(1, 4, 1);
  auto c = TKvProbe("a.krs", col).Find("TKvKR04Engine")->Decode();
  const TKvStdRGBColor brgb[4] = {StdRGBColor(0, 0, 0), StdRGBColor(0, 0, 255), StdRGBColor(0, 255, 0),
                                  StdRGBColor(255, 0, 0)};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(c->Palette->GetStdRGB(i), brgb[i]);

  // B/W with a header palette: its first two colours.
  auto bwp = KrsFile(2, 8, 1);
  bwp[5] = 0x0C;  // entry 1 blue FF
  auto d = TKvProbe("a.krs", bwp).Find("TKvKR04Engine")->Decode();
  ASSERT_EQ(d->Palette->Count, 2);
  EXPECT_EQ(d->Palette->GetStdRGB(0), StdRGBColor(0, 0, 0));
  EXPECT_EQ(d->Palette->GetStdRGB(1), StdRGBColor(0, 0, 255));

  // Gigascreen colour: 16 mixtures, mixture indexes, two 4-colour frames.
  auto g = KrsFile(5, 4, 1);
  g[12] = 0x12;  // frame A: x 0 = 2, x 1 = 1
  g[13] = 0x20;  // frame B: x 1 = 2
  TKvProbe pg("a.krs", g);
  TKvSourceEngine* ge = pg.Find("TKvKR04Engine");
  auto gb = ge->Decode();
  ASSERT_EQ(gb->Palette->Count, 16);
  ASSERT_EQ(ge->Palette2->Count, 4);
  EXPECT_EQ(gb->GetPixel(0, 0), 2 * 4 + 0);
  EXPECT_EQ(gb->GetPixel(1, 0), 1 * 4 + 2);
  ASSERT_EQ(gb->GetFrames()->GetCount(), 2);
  EXPECT_EQ(gb->GetFrames()->GetBitmap(0)->GetPixel(1, 0), 1);
  EXPECT_EQ(gb->GetFrames()->GetBitmap(1)->GetPixel(1, 0), 2);
  EXPECT_EQ(gb->GetFrames()->GetBitmap(1)->Palette->Count, 4);
}

// The ".krs" opens as the best candidate with the preview's colours, and a
// Gigascreen file with the preview's two frames.
void ExpectRoundTrip(const TKvConversion& r, const char* AWhat) {
  SCOPED_TRACE(AWhat);
  ASSERT_TRUE(r.Streams);
  ASSERT_EQ(r.Streams->GetCount(), 1);
  std::vector<uint8_t> bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
  TKvProbe probe("picture.krs", bytes);
  ASSERT_EQ(probe.Position("TKvKR04Engine"), 0);
  EXPECT_EQ(probe.Flags("TKvKR04Engine"), 11);
  auto b = probe.Find("TKvKR04Engine")->Decode();
  TKvBitmap& pv = *r.Preview;
  ASSERT_EQ(b->Width, pv.Width);
  ASSERT_EQ(b->Height, pv.Height);
  EXPECT_EQ(CountColorDiffs(*b, pv), 0);
  const TKvBitmapList* pf = pv.GetFrames();
  const TKvBitmapList* bf = b->GetFrames();
  ASSERT_EQ(pf ? pf->GetCount() : 0, bf ? bf->GetCount() : 0);
  for (int k = 0; pf && k < pf->GetCount(); ++k)
    EXPECT_EQ(CountColorDiffs(*pf->GetBitmap(k), *bf->GetBitmap(k)), 0) << "frame " << k;
}

TEST(KvOpenPlatformElektronikaKR04, RoundTripsOfAllModes) {
  TKvProcessorCountOverride one(1);
  auto narrow = GradientPicture(240, 224, 41);
  auto wide = GradientPicture(480, 224, 42);
  auto ega = ConvertPicture(DestEngineClass<TKvElektronikaKR04EGAEngine>(), *narrow);
  EXPECT_EQ(ega.Size(0), 13452);
  ExpectRoundTrip(ega, "EGA");
  auto egaColour = ConvertPicture(DestEngineClass<TKvElektronikaKR04EGAEngine>(), *narrow,
                                  [](TKvDestEngineOptions& o) { o.SetPaletteMode(pmColor); });
  ExpectRoundTrip(egaColour, "EGA colour");
  auto egaGiga = ConvertPicture(DestEngineClass<TKvElektronikaKR04EGAGigaEngine>(), *narrow);
  EXPECT_EQ(egaGiga.Size(0), 26892);
  ExpectRoundTrip(egaGiga, "EGA Gigascreen");
  auto egaGray =
      ConvertPicture(DestEngineClass<TKvElektronikaKR04EGAGigaEngine>(), *narrow, [](TKvDestEngineOptions& o) {
        o.SetPaletteMode(pmGray);
        o.UpdatePalette();
      });
  ExpectRoundTrip(egaGray, "EGA Gigascreen gray");
  ExpectRoundTrip(ConvertPicture(DestEngineClass<TKvElektronikaKR04BRGBEngine>(), *narrow), "BRGB");
  ExpectRoundTrip(ConvertPicture(DestEngineClass<TKvElektronikaKR04BRGBGigaEngine>(), *narrow), "BRGB Gigascreen");
  auto bw = ConvertPicture(DestEngineClass<TKvElektronikaKR04BWEngine>(), *wide);
  EXPECT_EQ(bw.Size(0), 13452);
  ExpectRoundTrip(bw, "B/W");
  ExpectRoundTrip(ConvertPicture(DestEngineClass<TKvElektronikaKR04BWGigaEngine>(), *wide), "B/W Gigascreen");
  // The other palette modes, on a smaller picture.
  auto small = GradientPicture(60, 30, 43);
  struct {
    const TKvDestEngineClass* Class;
    TKvPaletteMode Mode;
  } modes[] = {{&DestEngineClass<TKvElektronikaKR04EGAEngine>(), pmBlackWhite},
               {&DestEngineClass<TKvElektronikaKR04EGAEngine>(), pmGray},
               {&DestEngineClass<TKvElektronikaKR04EGAEngine>(), pmCustom},
               {&DestEngineClass<TKvElektronikaKR04EGAGigaEngine>(), pmCustom},
               {&DestEngineClass<TKvElektronikaKR04BRGBEngine>(), pmBlackWhite},
               {&DestEngineClass<TKvElektronikaKR04BRGBGigaEngine>(), pmGray}};
  for (auto& m : modes) {
    auto r = ConvertPicture(*m.Class, *small, [&](TKvDestEngineOptions& o) {
      o.SetPaletteMode(m.Mode);
      if (m.Mode == pmCustom) o.ColorMask[48] = 1;  // red among the 64
      o.UpdatePalette();
    });
    ExpectRoundTrip(r, (m.Class->GetModeName() + " mode " + std::to_string(int(m.Mode))).c_str());
  }
}

TEST(KvOpenPlatformElektronikaKR04, GigascreenOfFewerThanFourColoursKeepsItsFrames) {
  // Black left and white (or blue) right: the quantization keeps two (or
  // three) colours, the screen still splits each value by 4, and every pixel
  // shows its colour in both frames.
  for (uint32_t right : {0xFFFFFFu, 0x0000FFu}) {
    auto pic = SolidPicture(24, 8, 0);
    for (int y = 0; y < 8; ++y)
      for (int x = 12; x < 24; ++x) *pic->GetPixelPtr(x, y) = 0xFF000000u | right;
    const TKvStdRGBColor rightColour = StdRGBColor(right >> 16, (right >> 8) & 0xFF, right & 0xFF);
    for (TKvPaletteMode mode : {pmColorBright, pmColor}) {
      auto r =
          ConvertPicture(DestEngineClass<TKvElektronikaKR04EGAGigaEngine>(), *pic, [mode](TKvDestEngineOptions& o) {
            o.SetPaletteMode(mode);
            o.UpdatePalette();
          });
      ExpectRoundTrip(r, mode == pmColorBright ? "bright" : "colour");
      EXPECT_EQ(r.Options->GetPalette()->Count, 16);
      std::vector<uint8_t> bytes(r.Bytes(0), r.Bytes(0) + r.Size(0));
      TKvProbe probe("two.krs", bytes);
      TKvSourceEngine* e = probe.Find("TKvKR04Engine");
      ASSERT_NE(e, nullptr);
      auto b = e->Decode();
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 24; ++x) {
          const TKvStdRGBColor want = x < 12 ? StdRGBColor(0, 0, 0) : rightColour;
          ASSERT_EQ(b->GetPixelStdRGB(x, y), want) << x << "," << y;
          for (int k = 0; k < 2; ++k) ASSERT_EQ(b->GetFrames()->GetBitmap(k)->GetPixelStdRGB(x, y), want);
        }
    }
  }
}

}  // namespace
