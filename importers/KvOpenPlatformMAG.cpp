#include "importers/KvOpenPlatformMAG.h"

#include <cmath>
#include <string>

#include "core/KvBitmap.h"
#include "platforms/KvPlatformMAG.h"
#include "platforms/KvPlatformMSX.h"

namespace {

constexpr int64_t kMaxSide = 8000;

std::string Trimmed(const std::string& AText) {
  size_t b = 0, e = AText.size();
  while (b < e && static_cast<uint8_t>(AText[b]) <= ' ') ++b;
  while (e > b && static_cast<uint8_t>(AText[e - 1]) <= ' ') --e;
  return AText.substr(b, e - b);
}

// A component byte on the k-bit scale of its top k bits.
uint8_t ScaleTop(uint8_t AValue, int ABits) {
  const int LMax = (1 << ABits) - 1;
  return static_cast<uint8_t>(std::nearbyint((AValue >> (8 - ABits)) * 255.0 / LMax));
}

constexpr uint8_t kV9958Bytes[8] = {0, 33, 74, 107, 148, 181, 222, 255};

}  // namespace

TKvMAGv2Engine::TKvMAGv2Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  FileData = ASource.GetBytes();
  Header = FindMagHeader(FileData);
  if (!CheckMagHeader(Header)) RaiseInternalError();
  Comment = ReadMagComment(FileData);
  Machine = Header.U8(1);
  const uint8_t LFlag = Header.U8(2), LMode = Header.U8(3);
  const int64_t LStored = static_cast<int64_t>(Header.Le16(8)) - Header.Le16(4) + 1;
  const int64_t LHeight = static_cast<int64_t>(Header.Le16(10)) - Header.Le16(6) + 1;
  int64_t LWidth = LStored;
  if (Machine == 3) {
    Interlaced = (LFlag & 0x0C) == 0;
    static const struct {
      int Screen, Bits;
      int WidthScale;  // 1 as stored, 2 doubled, -2 halved unless 256 colours
      uint8_t Aspect, InterlacedAspect;
      bool Plus;
    } kModes[7] = {{7, 4, 1, 2, 12, false},   {8, 8, 1, 12, 18, false},  {10, 12, -2, 12, 18, true},
                   {11, 12, -2, 12, 18, true}, {12, 15, -2, 12, 18, true}, {5, 4, 1, 12, 18, false},
                   {6, 2, 2, 2, 12, false}};
    const auto& m = kModes[LFlag >> 4];  // 7..15 were refused by the header check
    ScreenNumber = m.Screen;
    Bits = m.Bits;
    if (m.WidthScale == 2) LWidth = 2 * LStored;
    if (m.WidthScale == -2 && !(LMode & 0x80)) LWidth = LStored / 2;
    PixelAspect = Interlaced ? m.InterlacedAspect : m.Aspect;
    PaletteTypes.clear();
    if (m.Plus) {
      PaletteType = ptMSX9958;
    } else {
      AddPaletteType(ptMSX9938);
      AddPaletteType(ptMSX9958);
      PaletteType = ptMSX9938;
    }
    Width = static_cast<int32_t>(LWidth <= kMaxSide ? LWidth : 0);
    Height = static_cast<int32_t>(LHeight <= kMaxSide ? LHeight : 0);
    Description = std::string(m.Plus ? "MSX2+" : "MSX2") + GetSizeText() + " screen " + std::to_string(ScreenNumber) +
                  (Interlaced ? " interlaced" : "") + " image";
  } else {
    switch (LMode) {
      case 0: case 4: Bits = 4; break;
      case 1: case 5: Bits = 4; PixelAspect = 1; break;
      case 2: case 6: Bits = 3; break;
      case 3: case 7: Bits = 3; PixelAspect = 1; break;
      case 128: case 129: case 132: case 133: Bits = 8; break;
      default: RaiseInternalError();
    }
    std::string LName(4, ' ');
    FileData.Read(8, LName.data(), 4);
    if (Machine == 0) {
      if (LName == "X68K" || LName == "XPST" || LName == "XGE ") {
        Machine = 104;
      } else if (LName == "BMP " || LName == "TIF2" || LName == "TIFF") {
        Machine = 153;
      } else if (LName == "MSX2") {
        Machine = 3;
        if (PixelAspect == 10) PixelAspect = 12;
      } else if (LName == "88VA") {
        Machine = 136;
      }
    }
    PaletteTypes.clear();
    for (TKvPaletteType t : {ptRGB888, ptRGB555, ptRGB444, ptRGB333}) AddPaletteType(t);
    PaletteType = ptRGB444;
    if (Machine == 3) {
      AddPaletteType(ptMSX9938);
      AddPaletteType(ptMSX9958);
      PaletteType = ptMSX9938;
    } else if (Machine == 104) {
      PaletteType = ptRGB555;
    } else if (Machine == 153) {
      PaletteType = ptRGB888;
    }
    if (Bits == 8 && Machine != 3 && Machine != 136) PaletteType = ptRGB888;
    Width = static_cast<int32_t>(LWidth <= kMaxSide ? LWidth : 0);
    Height = static_cast<int32_t>(LHeight <= kMaxSide ? LHeight : 0);
    Description = Trimmed(LName) + GetSizeText() + " image";
  }
  // Sizes past the limit of the other MSX formats are not offered: a small
  // file could otherwise ask for gigabytes.
  if (LWidth < 1 || LWidth > kMaxSide || LHeight < 1 || LHeight > kMaxSide) RaiseInternalError();
}

TKvMatchFlags TKvMAGv2Engine::Match(TKvLoadSource& ASource) {
  if (!CheckMagFile(ASource.GetBytes())) return 0;
  return ASource.GetExtension() == ".mag" ? mfHeader | mfExtension : mfHeader;
}

void TKvMAGv2Engine::LoadPalette() {
  Palette->Clear();
  if (Machine == 3 && Bits == 15) return;
  if (Machine == 3 && Bits == 8 && (PaletteType == ptMSX9938 || PaletteType == ptMSX9958)) {
    BuildMSXScreen8Palette(*Palette, PaletteType == ptMSX9958);
    return;
  }
  const int LCount = Machine == 3 && Bits == 12 ? 16 : 1 << (Bits < 8 ? Bits : 8);
  const TKvBytes LArea = GetMagPaletteArea(Header);
  auto Component = [this](uint8_t v) -> uint8_t {
    switch (PaletteType) {
      case ptRGB888: return v;
      case ptRGB777: return ScaleTop(v, 7);
      case ptRGB666: return ScaleTop(v, 6);
      case ptRGB555: return ScaleTop(v, 5);
      case ptRGB444: return ScaleTop(v, 4);
      case ptRGB333:
      case ptMSX9938: return ScaleTop(v, 3);
      case ptRGB222: return ScaleTop(v, 2);
      case ptRGB111: return ScaleTop(v, 1);
      case ptMSX9958: return kV9958Bytes[v >> 5];
      default: RaiseInternalError();
    }
  };
  for (int i = 0; i < LCount; ++i) {
    if (LArea.Has(3 * i, 3)) {
      const int e = 3 * i;
      Palette->AddRGB(Component(LArea.U8(e + 1)), Component(LArea.U8(e)), Component(LArea.U8(e + 2)));
    } else {
      Palette->AddRGB(0, 0, 0);
    }
  }
}

std::vector<uint8_t> TKvMAGv2Engine::Unpack(int64_t ARowBytes) const {
  const int64_t LTotal = ARowBytes * Height;
  std::vector<uint8_t> LOut(static_cast<size_t>(LTotal), 0);
  const TKvBytes LFlagA = GetMagFlagAArea(Header), LFlagB = GetMagFlagBArea(Header);
  const TKvBytes LPixels = GetMagPixelArea(Header);
  int64_t LABit = 0, LB = 0, LP = 0, LPos = 0;
  std::vector<uint8_t> LLine(static_cast<size_t>(ARowBytes / 4), 0);
  auto Emit = [&](int v) {
    uint8_t b0 = 0, b1 = 0;
    if (v == 0) {
      if (LPixels.Has(LP, 2)) {
        b0 = LPixels.U8(LP);
        b1 = LPixels.U8(LP + 1);
      }
      LP += 2;
    } else {
      const int64_t LBack = static_cast<int64_t>(MagFlagDY[v]) * ARowBytes + 2 * MagFlagDX[v];
      if (LPos >= LBack) {
        b0 = LOut[static_cast<size_t>(LPos - LBack)];
        b1 = LOut[static_cast<size_t>(LPos - LBack + 1)];
      }
    }
    LOut[static_cast<size_t>(LPos)] = b0;
    LOut[static_cast<size_t>(LPos + 1)] = b1;
    LPos += 2;
  };
  while (LPos < LTotal && !LLine.empty()) {
    for (size_t f = 0; f < LLine.size() && LPos < LTotal; ++f) {
      const bool LBit = LFlagA.Has(LABit / 8, 1) && ((LFlagA.U8(LABit / 8) >> (7 - LABit % 8)) & 1);
      ++LABit;
      if (LBit) {
        LLine[f] ^= LFlagB.Has(LB, 1) ? LFlagB.U8(LB) : 0;
        ++LB;
      }
      Emit(LLine[f] >> 4);
      if (LPos >= LTotal) break;
      Emit(LLine[f] & 15);
    }
  }
  return LOut;
}

std::unique_ptr<TKvBitmap> TKvMAGv2Engine::Decode() {
  if (Bits != 2 && Bits != 3 && Bits != 4 && Bits != 8 && Bits != 12 && Bits != 15) RaiseInternalError();
  LoadPalette();
  const int d = (Header.U8(3) & 0x80) ? 1 : 2;
  const int64_t x0 = Header.Le16(4), x1 = Header.Le16(8);
  const int64_t L = (x0 / d) & 0xFFFC, R = (x1 / d + 4) & 0xFFFC;
  const int64_t r = R - L;
  const std::vector<uint8_t> LData = Unpack(r);
  const int64_t a = x0 - L * d;
  std::unique_ptr<TKvBitmap> LBitmap;
  if (Bits <= 4)
    LBitmap = std::make_unique<TKvBitmap4>(Width, Height, Palette.get());
  else if (Bits == 8)
    LBitmap = std::make_unique<TKvBitmap8>(Width, Height, Palette.get());
  else
    LBitmap = std::make_unique<TKvBitmap24>(Width, Height);
  auto Put = [&](int64_t x, int y, int c) {
    if (x >= 0 && x < Width) LBitmap->SetPixel(static_cast<int>(x), y, c);
  };
  for (int y = 0; y < Height; ++y) {
    const uint8_t* row = LData.data() + static_cast<size_t>(y) * static_cast<size_t>(r);
    int64_t x = -a;
    if (Bits >= 12) {
      for (int64_t g = 0; g + 4 <= r; g += 4) {
        const uint8_t* b = row + g;
        int k = (b[0] & 7) | (b[1] & 7) << 3, j = (b[2] & 7) | (b[3] & 7) << 3;
        if (k > 31) k -= 64;
        if (j > 31) j -= 64;
        for (int i = 0; i < 4; ++i, ++x) {
          const int v = b[i] >> 3;
          Put(x, y, static_cast<int>(Bits == 12 ? YAEToRGB(*Palette, v, k, j) : YJKToRGB(v, k, j)));
        }
      }
      continue;
    }
    for (int64_t i = 0; i < r; ++i) {
      const uint8_t v = row[i];
      switch (Bits) {
        case 2:
          for (int s = 6; s >= 0; s -= 2) Put(x++, y, (v >> s) & 3);
          break;
        case 3:
          Put(x++, y, (v >> 4) & 7);
          Put(x++, y, v & 7);
          break;
        case 4:
          Put(x++, y, v >> 4);
          Put(x++, y, v & 15);
          break;
        default: Put(x++, y, v); break;
      }
    }
  }
  return LBitmap;
}

const std::vector<const TKvSourceEngineClass*>& MAGSourceEngineClasses() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {&SourceEngineClass<TKvMAGv2Engine>()};
  return LClasses;
}

void InitKvOpenPlatformMAG() {
  for (const TKvSourceEngineClass* c : MAGSourceEngineClasses()) RegisterSourceEngine(*c);
}
