#include <gtest/gtest.h>

#include <vector>

#include "KvTestHarness.h"
#include "importers/KvOpenPlatformPC8000.h"
#include "platforms/KvSavePlatformPC8000.h"

namespace {

const char* const kPC8000 = "TKvPC8000SourceEngine";

std::vector<uint8_t> Vm2(uint8_t AFirst = 'P') {
  std::vector<uint8_t> f(12292, 0);
  f[0] = AFirst;
  f[1] = 'C';
  f[2] = '8';
  return f;
}

TEST(KvOpenPlatformPC8000, MatchFlags) {
  TKvProbe probe("a.vm2", Vm2());
  EXPECT_EQ(probe.Flags(kPC8000), 11);
  EXPECT_EQ(probe.Position(kPC8000), 0);
  EXPECT_EQ(probe.Find(kPC8000)->Description, "PC8000 256x192x4 image");
  TKvProbe other("a.bin", Vm2());
  EXPECT_EQ(other.Flags(kPC8000), 9);
  TKvProbe wrong("a.vm2", Vm2('Q'));
  EXPECT_EQ(wrong.Flags(kPC8000), 0);
  std::vector<uint8_t> shorter = Vm2();
  shorter.pop_back();
  EXPECT_EQ(TKvProbe("a.vm2", shorter).Flags(kPC8000), 0);
  EXPECT_EQ(TKvProbe("a.vm2", {}).Flags(kPC8000), 0);
}

// The decoded file against the preview: by colour, or by index.
int Differences(TKvBitmap& A, TKvBitmap& B, bool AByColour) {
  return AByColour ? CountColorDiffs(A, B) : CountIndexDiffs(A, B);
}

TEST(KvOpenPlatformPC8000, RoundTrips) {
  auto pic = GradientPicture(256, 64, 41);
  struct {
    TKvPaletteMode Mode;
    TKvPaletteType Type;
  } cases[] = {
      {pmBlackWhite, ptColoredLinear}, {pmGray, ptColoredDDp}, {pmColor, ptColoredLinear}, {pmColor, ptColoredDDp}};
  for (auto& c : cases) {
    auto r = ConvertPicture(DestEngineClass<TKvPC8000Engine>(), *pic, [&](TKvDestEngineOptions& o) {
      o.SetPaletteType(c.Type);
      o.SetPaletteMode(c.Mode);
      o.UpdatePalette();
    });
    TKvProbe probe("p.vm2", std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
    ASSERT_EQ(probe.Position(kPC8000), 0);
    TKvSourceEngine* e = probe.Find(kPC8000);
    e->PaletteType = c.Type;
    auto b = e->Decode();
    if (c.Mode != pmBlackWhite) {
      EXPECT_TRUE(b->Palette->SameColors(r.Preview->Palette.get())) << int(c.Mode);
    }
    EXPECT_EQ(Differences(*b, *r.Preview, c.Mode == pmBlackWhite), 0) << int(c.Mode) << " " << c.Type;
  }
}

}  // namespace
