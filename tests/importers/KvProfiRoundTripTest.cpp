// Profi ".grf" pictures written by the converter open again through the
// importer probe as the best candidate; damaged headers give no candidate.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/KvThreadJob.h"
#include "KvTestHarness.h"
#include "platforms/KvPlatformProfi.h"
#include "platforms/KvSavePlatformProfi.h"

namespace {

const char* const kProfi = "KvOpenPlatformProfi::TKvProfiEngine";

// Pixel (x, y) read straight from the file's documented layout, without the
// importer or the shared header routines: the palette index (for the
// two-colour kind 1 for a light pixel), and with a palette of its own the
// colour that the header gives that index.
int LayoutIndex(const std::vector<uint8_t>& d, int x, int y, TKvStdRGBColor& AColor) {
  const int L = d[6] | (d[7] << 8);
  const uint8_t* row = d.data() + (d[8] == 0 ? 1 : d[8]) * 128 + static_cast<size_t>(y) * L;
  int v;
  if (d[4] == 8) {
    v = (row[x / 8] >> (7 - x % 8)) & 1;
  } else {
    const uint8_t a = row[x / 8 * 2 + 1];
    const int ink = (a & 7) + 8 * ((a >> 6) & 1), paper = ((a >> 3) & 7) + 8 * (a >> 7);
    v = (row[x / 8 * 2] >> (7 - x % 8)) & 1 ? ink : paper;
  }
  if (d[9] == 19) {
    static const uint8_t k8[8] = {0, 36, 73, 109, 146, 182, 219, 255}, k4[4] = {0, 85, 170, 255};
    const uint8_t b = d[static_cast<size_t>(10 + v)];
    AColor = StdRGBColor(k8[(b >> 2) & 7], k8[b >> 5], k4[b & 3]);
  }
  return v;
}

TEST(KvProfiRoundTrip, BothKindsAndWidths) {
  TKvProcessorCountOverride one(1);
  struct {
    uint8_t Type;
    TKvPaletteMode Mode;
    int Bits;
    const char* Kind;
  } cases[] = {{ptColored15, pmBlackWhite, 1, "B/W"},    {ptColored15, pmGray, 4, "color"},
               {ptColored15, pmColor, 4, "color"},       {ptColored16of256, pmBlackWhite, 4, "palette"},
               {ptColored16of256, pmGray, 4, "palette"}, {ptColored16of256, pmColor, 4, "palette"}};
  for (int width : {512, 500}) {
    auto pic = GradientPicture(width, 24, static_cast<uint32_t>(width));
    for (auto& c : cases) {
      SCOPED_TRACE(std::to_string(width) + " " + std::to_string(c.Type) + " " + std::to_string(c.Mode));
      auto r = ConvertPicture(DestEngineClass<TKvProfiEngine>(), *pic, [&](TKvDestEngineOptions& o) {
        o.SetPaletteType(c.Type);
        o.SetPaletteMode(c.Mode);
        o.UpdatePalette();
      });
      TKvProbe probe("pic.grf", std::vector<uint8_t>(r.Bytes(0), r.Bytes(0) + r.Size(0)));
      ASSERT_GT(probe.List->GetCount(), 0);
      TKvSourceEngine* e = probe.List->GetEngine(0);
      ASSERT_EQ(e->ClassType().GetClassName(), kProfi);
      EXPECT_EQ(e->MatchFlags, mfHeader | mfExtension | mfSize);
      EXPECT_EQ(e->Description, "Profi " + std::to_string(width) + "x24x" + std::to_string(c.Bits) + " " + c.Kind +
                                    " image");
      EXPECT_EQ(e->PixelAspect, 6);
      auto decoded = e->Decode();
      TKvBitmap& preview = *r.Preview;
      ASSERT_EQ(decoded->Width, width);
      ASSERT_EQ(decoded->Height, 24);
      // "15 colors" keeps the importer's own levels; the pixels match.
      const bool colors = c.Type == ptColored16of256;
      EXPECT_EQ(CountIndexDiffs(*decoded, preview), 0);
      if (colors) {
        EXPECT_EQ(CountColorDiffs(*decoded, preview), 0);
      }
      const std::vector<uint8_t> file(r.Bytes(0), r.Bytes(0) + r.Size(0));
      int layoutDiffs = 0;
      for (int y = 0; y < 24; ++y)
        for (int x = 0; x < width; ++x) {
          TKvStdRGBColor color{};
          if (LayoutIndex(file, x, y, color) != preview.GetPixel(x, y)) ++layoutDiffs;
          if (colors && !(color == preview.Palette->GetStdRGB(preview.GetPixel(x, y)))) ++layoutDiffs;
        }
      EXPECT_EQ(layoutDiffs, 0) << "read from the layout";
    }
  }
}

std::vector<uint8_t> ProfiFile(int AWidth, int AHeight, bool AColor) {
  std::vector<uint8_t> d(128, 0);
  if (AColor)
    InitProfiColorGrfHeader(d.data(), AWidth, AHeight);
  else
    InitProfiGrfHeader(d.data(), AWidth, AHeight);
  d.resize(static_cast<size_t>(AColor ? ProfiColorGrfFileSize(AWidth, AHeight) : ProfiMonoGrfFileSize(AWidth, AHeight)),
           0x5A);
  return d;
}

TEST(KvProfiRoundTrip, BadFilesGiveNoCandidate) {
  auto set16 = [](std::vector<uint8_t> d, int AOffset, int AValue) {
    d[AOffset] = static_cast<uint8_t>(AValue);
    d[AOffset + 1] = static_cast<uint8_t>(AValue >> 8);
    return d;
  };
  auto at = [](std::vector<uint8_t> d, int AOffset, uint8_t AValue) {
    d[AOffset] = AValue;
    return d;
  };
  auto cut = [](std::vector<uint8_t> d, size_t ASize) {
    d.resize(ASize);
    return d;
  };
  const auto good = ProfiFile(40, 10, true);
  struct {
    const char* What;
    std::vector<uint8_t> Bytes;
    bool Offered;
  } cases[] = {
      {"good", good, true},
      {"good mono", ProfiFile(40, 10, false), true},
      {"longer", cut(good, good.size() + 7), true},
      {"one byte short", cut(good, good.size() - 1), false},
      {"header only", cut(good, 128), false},
      {"empty", {}, false},
      {"rows shorter than the kind", set16(good, 6, 9), false},
      {"palette type 1", at(good, 9, 1), false},
      {"kind 2", at(good, 4, 2), false},
      {"height past the end", set16(good, 2, 11), false},
      {"height x L wraps 32 bits", set16(set16(good, 2, 0xFFFF), 6, 0xFFFF), false},
      {"zero width", set16(good, 0, 0), false},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.What);
    TKvProbe probe("x.grf", c.Bytes);
    TKvSourceEngine* e = probe.Find(kProfi);
    EXPECT_EQ(e != nullptr, c.Offered);
    if (e) {
      EXPECT_NE(e->Decode(), nullptr);
    }
  }
  // Without the extension the header still counts.
  TKvProbe other("x.bin", good);
  EXPECT_EQ(other.Flags(kProfi), mfHeader | mfSize);
}

}  // namespace
