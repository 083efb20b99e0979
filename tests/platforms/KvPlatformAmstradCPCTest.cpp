// CPC colours, AMSDOS headers and the bodies of the palette and descriptor
// files.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platforms/KvPlatformAmstradCPC.h"
#include "platforms/KvSavePlatformAmstradCPC.h"
#include "shell/noxShellBaseExtension.h"

namespace {

// A little-endian word of a header or body the converter wrote.
uint16_t WordAt(const uint8_t* AData, int AOffset) { return TKvBytes(AData + AOffset, 2).Le16(0); }

std::string Bytes(const uint8_t* p, int n) { return std::string(reinterpret_cast<const char*>(p), static_cast<size_t>(n)); }

TEST(KvPlatformAmstradCPC, PaletteKinds) {
  TKvPalette256 p;
  BuildCPCPalette(p, ptCPCGateArrayRGB);
  ASSERT_EQ(p.Count, 27);
  EXPECT_EQ(p.GetStdRGB(13), StdRGBColor(110, 125, 107));
  EXPECT_EQ(p.GetStdRGB(26), StdRGBColor(255, 243, 249));
  EXPECT_EQ(p.GetStdRGB(0), StdRGBColor(0, 2, 1));
  for (TKvPaletteType t : {ptCPCGateArray, ptCPCASIC, ptCPCASICRGB}) {
    BuildCPCPalette(p, t);
    EXPECT_EQ(p.Count, 27);
  }
  // Linear light: 50 % is far brighter than the byte 128.
  BuildCPCPalette(p, ptCPCGateArray);
  EXPECT_GT(p.GetStdRGB(17).G, 180);
  for (TKvPaletteType t : {ptCPCPlus, ptRGB888}) {
    try {
      BuildCPCPalette(p, t);
      FAIL();
    } catch (const EOSError& e) {
      EXPECT_EQ(e.ErrorCode, 87u);
    }
  }
  BuildCPCGrayPalette(p, ptCPCASICRGB);
  EXPECT_EQ(p.Count, 3);
  BuildCPCBlackWhitePalette(p, ptCPCGateArrayRGB);
  ASSERT_EQ(p.Count, 2);
  EXPECT_EQ(p.GetStdRGB(1), StdRGBColor(255, 243, 249));
  BuildCPCBrightPalette(p, ptCPCGateArray);
  EXPECT_GE(p.Count, 8);
  EXPECT_LE(p.Count, 16);
}

TEST(KvPlatformAmstradCPC, HardwareBytes) {
  // Every firmware colour comes back from its hardware byte.
  for (int k = 0; k < 27; ++k) EXPECT_EQ(CPCFirmwareOfHardware(CPCFirmwareToHardware[k]), k);
  EXPECT_EQ(CPCFirmwareOfHardware(0x41), 13);
  EXPECT_EQ(CPCFirmwareOfHardware(0x48), 7);
  EXPECT_EQ(CPCFirmwareOfHardware(0x51), 19);
  EXPECT_EQ(CPCFirmwareOfHardware(0x20), 0);
  EXPECT_EQ(CPCFirmwareOfHardware(0x60), 0);
}

TEST(KvPlatformAmstradCPC, AmsdosHeader) {
  uint8_t h[128];
  std::memset(h, 0xFF, 67);
  std::memset(h + 67, 0, 61);
  UpdateAmsdosChecksum(h);
  EXPECT_EQ(h[67], 0xBD);
  EXPECT_EQ(h[68], 0x42);

  InitAmsdosHeader(h, 2, 0xC000, 16384, 0xC7D0);
  EXPECT_EQ(h[18], 2);
  EXPECT_EQ(WordAt(h, 19), 16384);
  EXPECT_EQ(WordAt(h, 21), 0xC000);
  EXPECT_EQ(WordAt(h, 24), 16384);
  EXPECT_EQ(WordAt(h, 26), 0xC7D0);
  EXPECT_EQ(WordAt(h, 64), 16384);
  EXPECT_EQ(Bytes(h + 1, 11), std::string(11, '\0'));
  // Never named, never summed: rejected.
  EXPECT_FALSE(CheckAmsdosHeader(TKvBytes(h, AmsdosHeaderSize), 2, 16384));
  UpdateAmsdosChecksum(h);
  EXPECT_TRUE(CheckAmsdosHeader(TKvBytes(h, AmsdosHeaderSize), 2, 16384));
  EXPECT_FALSE(CheckAmsdosHeader(TKvBytes(h, AmsdosHeaderSize), 0, 16384));
  EXPECT_FALSE(CheckAmsdosHeader(TKvBytes(h, AmsdosHeaderSize), 2, 16336));
  h[66] = 1;
  UpdateAmsdosChecksum(h);
  EXPECT_FALSE(CheckAmsdosHeader(TKvBytes(h, AmsdosHeaderSize), 2, 16384));
}

TEST(KvPlatformAmstradCPC, FileNames) {
  struct {
    const char* Name;
    const char* Stored;
  } cases[] = {
      {"my pic.scr", "MY-PIC  SCR"},
      {"Picture.Screen.scr", "PICTURE-SCR"},
      {"noext", "NOEXT      "},
      {"c:\\dir\\a(1)%.pal", "A-1--   PAL"},
      {"  x.pph ", "X       PPH"},
      {"longfilename.extension", "LONGFILEEXT"},
  };
  for (const auto& c : cases) {
    uint8_t h[128] = {};
    SetAmsdosFileName(h, c.Name);
    EXPECT_EQ(Bytes(h + 1, 11), c.Stored) << c.Name;
  }
  // A stream stores its own name and a valid checksum; letters outside
  // ASCII take one place each.
  TKvAmstradCPCKitStream s;
  s.StoreFileName("\xC3\xA9t\xC3\xA9.kit");
  EXPECT_EQ(Bytes(s.Header() + 1, 11), "-T-     KIT");
  EXPECT_TRUE(CheckAmsdosHeader(TKvBytes(s.Header(), AmsdosHeaderSize), 2, 32));
}

TEST(KvPlatformAmstradCPC, PalAndPphBodies) {
  TKvPalette256 hw, two;
  BuildCPCPalette(hw, ptCPCGateArray);
  two.AddStdRGB(hw.GetStdRGB(3));
  two.AddStdRGB(hw.GetStdRGB(24));
  std::vector<uint8_t> pal(239, 0xEE);
  BuildCPCPalFile(pal.data(), 1, hw, two, 0xFFFFFF);
  EXPECT_EQ(pal[0], 1);
  EXPECT_EQ(pal[1], 0);
  EXPECT_EQ(pal[2], 0);
  for (int i = 0; i < 16; ++i)
    for (int j = 0; j < 12; ++j) EXPECT_EQ(pal[3 + 12 * i + j], i == 0 ? 0x5C : i == 1 ? 0x4A : 0x40);
  for (int j = 0; j < 12; ++j) EXPECT_EQ(pal[195 + j], 0x4B);  // nearest to white: bright white
  for (int j = 207; j < 239; ++j) EXPECT_EQ(pal[j], 0);

  uint8_t pph[22];
  std::memset(pph, 0xEE, sizeof pph);
  BuildCPCPphHeader(pph, 4, 384, 272, hw, two);
  const uint8_t head[] = {4, 0x80, 1, 0x10, 1, 1, 3, 24, 0, 0};
  EXPECT_EQ(Bytes(pph, 10), Bytes(head, 10));
  EXPECT_EQ(pph[21], 0);
  EXPECT_EQ(CPCPenCount(5), 4);
  EXPECT_THROW(CPCPenCount(3), EOSError);

  // A colour that is no hardware colour cannot become a pen.
  two.AddRGB(1, 2, 3);
  EXPECT_THROW(BuildCPCPalFile(pal.data(), 1, hw, two, 0), Exception);
}

TEST(KvPlatformAmstradCPC, PlusWords) {
  EXPECT_EQ(CPCPlusColorWord(15, 15, 15), 0x0FFF);
  EXPECT_EQ(CPCPlusColorWord(15, 0, 0), 0x00F0);
  EXPECT_EQ(CPCPlusColorWord(0, 15, 0), 0x0F00);
  EXPECT_EQ(CPCPlusWordColor(0x0FFF), StdRGBColor(255, 255, 255));
  EXPECT_EQ(CPCPlusWordColor(0x00F0), StdRGBColor(255, 0, 0));
  EXPECT_EQ(CPCPlusWordColor(0x0123), StdRGBColor(34, 17, 51));
}

TEST(KvPlatformAmstradCPC, PixelBits) {
  uint8_t b = 0;
  PutCPCMode0Pixel(b, 0, 1);
  EXPECT_EQ(b, 0x80);
  PutCPCMode0Pixel(b, 1, 15);
  EXPECT_EQ(b, 0x80 | 0x55);
  PutCPCMode0Pixel(b, 0, 14);
  EXPECT_EQ(b, 0x2A | 0x55);
  EXPECT_EQ(GetCPCMode0Pixel(b, 0), 14);
  EXPECT_EQ(GetCPCMode0Pixel(b, 1), 15);
  b = 0;
  PutCPCMode1Pixel(b, 2, 3);
  EXPECT_EQ(b, 0x22);
  PutCPCMode1Pixel(b, 0, 2);
  EXPECT_EQ(b, 0x2A);
  EXPECT_EQ(GetCPCMode1Pixel(b, 0), 2);
  EXPECT_EQ(GetCPCMode1Pixel(b, 2), 3);
  EXPECT_EQ(GetCPCMode1Pixel(b, 3), 0);
  EXPECT_EQ(CPCScrRowOffset(8), 80);
  EXPECT_EQ(CPCScrRowOffset(199), 7 * 2048 + 24 * 80);
  EXPECT_EQ(CPCOverscanRowOffset(127), 15920);
  EXPECT_EQ(CPCOverscanRowOffset(128), 16016);
  EXPECT_EQ(CPCHgbRowOffset(8), 64);
  EXPECT_EQ(CPCHgbRowOffset(1), 2048);
  EXPECT_EQ(CPCHgbRowOffset(255), 16320);
}

}  // namespace
