#include "importers/KvOpenPlatformCommodore64.h"

#include "core/KvBitmap.h"
#include "platforms/KvPlatformCommodore64.h"

namespace {

// A program whose name depends on the extension (nullptr: the row's name).
struct TKvC64Extension {
  const char* Ext;
  const char* Program;
};

// One kind of file: one or two sizes, one or two load addresses, its
// extensions, its program name and the offsets of its parts (-1: absent).
struct TKvC64Layout {
  int32_t Sizes[2];
  int32_t Loads[2];
  TKvC64Extension Exts[4];
  const char* Program;
  int32_t Background, Bitmap, Screen, Color;
};

constexpr int32_t kNo = -1;

const TKvC64Layout kHiResBW[] = {
    {{8002, kNo}, {0x2000, kNo},
     {{".hbm", ""}, {".hir", " Art Studio"}, {".hpi", " Art Studio"}, {".fgs", " Fun Graphics Machine"}}, "",
     kNo, 2, kNo, kNo},
    {{8002, kNo}, {0x6000, kNo}, {{".gih", nullptr}}, " Gigapaint", kNo, 2, kNo, kNo},
    {{8194, kNo}, {0x2000, kNo}, {{".mon", " Mono Magic"}, {".gcd", " Gigacad"}}, "", kNo, 2, kNo, kNo},
};

const TKvC64Layout kLoRes[] = {
    {{10003, kNo}, {0x4000, kNo}, {{".ipt", nullptr}}, " Interpaint", 10002, 2, 8002, 9002},
    {{10003, kNo}, {0x6000, kNo}, {{".gig", " Gigapaint"}, {".kla", nullptr}, {".koa", nullptr}}, " Koala Painter",
     10002, 2, 8002, 9002},
    {{10004, kNo}, {0x4000, kNo}, {{".fpt", nullptr}}, " Face Painter", 10003, 2, 8002, 9002},
    {{10006, kNo}, {0x6000, kNo}, {{".rpm", nullptr}}, " Run Paint", 10002, 2, 8002, 9002},
    {{10007, kNo}, {0x8000, kNo}, {{".cwg", nullptr}}, " Create with Garfield", 10002, 2, 8002, 9002},
    {{10018, kNo}, {0x2000, kNo}, {{".ocp", nullptr}, {".mpi", nullptr}, {".mpic", nullptr}},
     " Advanced Art Studio", 9003, 2, 8002, 9018},
    {{10022, kNo}, {0x18DC, kNo}, {{".mil", nullptr}}, " Micro Illustrator", 8, 2022, 22, 1022},
    {{10050, kNo}, {0x1800, kNo}, {{".p64", nullptr}}, " Picasso 64", 2049, 2050, 1026, 2},
    {{10050, kNo}, {0x5800, kNo}, {{".vid", nullptr}}, " Vidcom 64", 2026, 2050, 1026, 2},
    {{10051, kNo}, {0x5800, kNo}, {{".drz", nullptr}}, " Drazpaint", 10050, 2050, 1026, 2},
    {{10218, kNo}, {0x3C00, kNo}, {{".ism", nullptr}, {".ims", nullptr}}, " Image System", 9217, 1026, 9218, 2},
    {{10219, kNo}, {0x7800, kNo}, {{".sar", nullptr}}, " Saracen Paint", 1010, 1026, 2, 9218},
    {{10242, kNo}, {0x4000, kNo}, {{".a64", nullptr}}, " Artist 64", 10241, 2, 8194, 9218},
    {{10242, kNo}, {0x5800, kNo}, {{".dol", nullptr}}, " Dolphin Ed", 2026, 2050, 1026, 2},
    // No background byte: colour 0.
    {{10242, kNo}, {0x5C00, kNo}, {{".rp", nullptr}}, " Rainbow Painter", kNo, 1026, 2, 9218},
    {{10242, kNo}, {0xA000, kNo}, {{".pi", nullptr}, {".blp", nullptr}}, " Blazing Paddles", 8066, 2, 8194, 9218},
    {{10277, kNo}, {0x7EEF, kNo}, {{".cdu", nullptr}}, " CDU-Paint", 10275, 275, 8275, 9275},
    {{20482, kNo}, {0x8000, kNo}, {{".che", nullptr}}, " Cheese", 20479, 2, 16898, 18434},
};

// One colour byte (at the colour offset) for every cell.
const TKvC64Layout kLoResPmg[] = {
    {{9332, kNo}, {0x3F8E, kNo}, {{".pmg", nullptr}}, " Paint Magic", 8116, 116, 8308, 8119},
};

// 9009-byte files carry 6 bytes after the screen that are not read.
const TKvC64Layout kHiRes[] = {
    {{9002, kNo}, {0x4000, kNo}, {{".ip64h", nullptr}, {".iph", nullptr}}, " Interpaint", kNo, 2, 8002, kNo},
    {{9003, 9009}, {0x2000, kNo}, {{".art", nullptr}, {".aas", nullptr}, {".hpi", nullptr}, {".pic", nullptr}},
     " Art Studio", kNo, 2, 8002, kNo},
    {{9003, 9009}, {0x6000, kNo}, {{".hpc", nullptr}}, "", kNo, 2, 8002, kNo},
    {{9194, kNo}, {0x4000, kNo}, {{".ish", nullptr}}, " Image System", kNo, 2, 8194, kNo},
    {{9217, kNo}, {0x5C00, kNo}, {{".het", nullptr}}, " Hires", kNo, 1026, 2, kNo},
    {{9218, kNo}, {0x2000, kNo}, {{".hed", nullptr}}, " Hi-Eddi", kNo, 2, 8194, kNo},
    {{9218, kNo}, {0x1C00, 0x5C00}, {{".dd", nullptr}, {".ddl", nullptr}}, " Doodle", kNo, 1026, 2, kNo},
};

// Frame A: bitmap at 2, screen at 10242; frame B: bitmap at 16386, screen at
// 9218 (fixed below).
const TKvC64Layout kHiResGigascreen[] = {
    {{24578, kNo}, {0x2000, kNo}, {{".hlf", nullptr}}, " Hires interlace", kNo, 2, 10242, kNo},
};

constexpr int kColumns = 40;
constexpr int kRows = 25;

template <size_t N>
const TKvC64Layout* FindLayout(const TKvC64Layout (&ATable)[N], const TKvLoadSource& ASource) {
  const int64_t LSize = ASource.GetBytes().Size();
  if (LSize < 2) return nullptr;
  const int32_t LLoad = ASource.GetBytes().Le16(0);
  for (const TKvC64Layout& r : ATable)
    if ((r.Sizes[0] == LSize || r.Sizes[1] == LSize) && (r.Loads[0] == LLoad || r.Loads[1] == LLoad)) return &r;
  return nullptr;
}

const TKvC64Extension* FindExtension(const TKvC64Layout& ALayout, const std::string& AExt) {
  for (const TKvC64Extension& e : ALayout.Exts)
    if (e.Ext && AExt == e.Ext) return &e;
  return nullptr;
}

// Size and load address verified: 9; with one of the row's extensions: 11.
template <size_t N>
TKvMatchFlags MatchLayout(const TKvC64Layout (&ATable)[N], const TKvLoadSource& ASource) {
  const TKvC64Layout* r = FindLayout(ATable, ASource);
  if (!r) return 0;
  const TKvMatchFlags LFlags = mfHeader | mfSize;
  return FindExtension(*r, ASource.GetExtension()) ? LFlags | mfExtension : LFlags;
}

// The row of a file that Match offered; "Internal error" for any other.
template <size_t N>
const TKvC64Layout& LayoutOf(const TKvC64Layout (&ATable)[N], const TKvLoadSource& ASource) {
  const TKvC64Layout* r = FindLayout(ATable, ASource);
  if (!r) RaiseInternalError();
  return *r;
}

std::string ProgramOf(const TKvC64Layout& ALayout, const TKvLoadSource& ASource) {
  const TKvC64Extension* e = FindExtension(ALayout, ASource.GetExtension());
  return (e && e->Program) ? e->Program : ALayout.Program;
}

// Bitmap byte of line k of cell (r, c).
uint8_t CellByte(const TKvBytes& ABitmap, int r, int c, int k) { return ABitmap.U8(r * 320 + c * 8 + k); }

constexpr int kBitmapSize = 8000;
constexpr int kCellCount = 1000;

}  // namespace

// ---------------------------------------------------------------------------

TKvCommodore64CommonEngine::TKvCommodore64CommonEngine(TKvLoadSource& ASource)
    : TKvSourceEngine(ASource), FData(ASource.GetBytes()) {
  PaletteTypes = {ptCommandore64Dark, ptCommandore64Light};
  PaletteType = ptCommandore64Dark;
}

void TKvCommodore64CommonEngine::BuildPalette() { BuildC64Palette(*Palette, PaletteType); }

void TKvCommodore64CommonEngine::SetUp(int AWidth, int AHeight, int ABits, uint8_t APixelAspect,
                                       const std::string& AProgram) {
  Width = AWidth;
  Height = AHeight;
  Bits = ABits;
  PixelAspect = APixelAspect;
  Description = "Commodore 64" + GetSizeText() + AProgram + " image";
}

TKvCommodore64CommonHiResBWEngine::TKvCommodore64CommonHiResBWEngine(TKvLoadSource& ASource)
    : TKvCommodore64CommonEngine(ASource) {
  PaletteTypes = {ptBW, ptWB};
  PaletteType = ptBW;
}

std::unique_ptr<TKvBitmap> TKvCommodore64CommonHiResBWEngine::Decode() {
  SetMonoPalette(PaletteType == ptWB);
  auto LBitmap = std::make_unique<TKvBitmap1>(320, 200, Palette.get());
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c)
      for (int k = 0; k < 8; ++k) PutInkPaperByte(LBitmap.get(), CellByte(FBitmap, r, c, k), 0, 1, c, r * 8 + k, 8);
  return LBitmap;
}

TKvCommodore64CommonLoResEngine::TKvCommodore64CommonLoResEngine(TKvLoadSource& ASource)
    : TKvCommodore64CommonEngine(ASource) {}

std::unique_ptr<TKvBitmap> TKvCommodore64CommonLoResEngine::Decode() {
  BuildPalette();
  auto LBitmap = std::make_unique<TKvBitmap4>(160, 200, Palette.get());
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) {
      const int LCell = r * kColumns + c;
      const uint8_t s = FScreen.U8(LCell);
      const int LColors[4] = {FBackground & 15, s >> 4, s & 15, FColor.U8(LCell * FColorStep) & 15};
      for (int k = 0; k < 8; ++k) {
        const uint8_t b = CellByte(FBitmap, r, c, k);
        for (int i = 0; i < 4; ++i) LBitmap->SetPixel(c * 4 + i, r * 8 + k, LColors[(b >> (6 - 2 * i)) & 3]);
      }
    }
  return LBitmap;
}

TKvCommodore64CommonHiResEngine::TKvCommodore64CommonHiResEngine(TKvLoadSource& ASource)
    : TKvCommodore64CommonEngine(ASource) {}

std::unique_ptr<TKvBitmap> TKvCommodore64CommonHiResEngine::Decode() {
  BuildPalette();
  auto LBitmap = std::make_unique<TKvBitmap4>(320, 200, Palette.get());
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) {
      const uint8_t s = FScreen.U8(r * kColumns + c);
      for (int k = 0; k < 8; ++k)
        PutInkPaperByte(LBitmap.get(), CellByte(FBitmap, r, c, k), s & 15, s >> 4, c, r * 8 + k, 8);
    }
  return LBitmap;
}

TKvCommodore64CommonHiResGigascreenEngine::TKvCommodore64CommonHiResGigascreenEngine(TKvLoadSource& ASource)
    : TKvCommodore64CommonEngine(ASource) {}

std::unique_ptr<TKvBitmap> TKvCommodore64CommonHiResGigascreenEngine::Decode() {
  BuildPalette();
  MakeGigaScreenPalette();
  auto LBitmap = std::make_unique<TKvBitmap8>(320, 200, Palette.get());
  TKvBitmap* LFrameA = LBitmap->AddFrame(Palette2.get());
  TKvBitmap* LFrameB = LBitmap->AddFrame(Palette2.get());
  for (int r = 0; r < kRows; ++r)
    for (int c = 0; c < kColumns; ++c) {
      const uint8_t sa = FScreen.U8(r * kColumns + c), sb = FScreen2.U8(r * kColumns + c);
      for (int k = 0; k < 8; ++k)
        PutInkPaperPlanes(LBitmap.get(), LFrameA, LFrameB, CellByte(FBitmap, r, c, k), CellByte(FBitmap2, r, c, k),
                          sa & 15, sa >> 4, sb & 15, sb >> 4, c, r * 8 + k, 8);
    }
  return LBitmap;
}

// ---------------------------------------------------------------------------
// Plain files: the row of the size and load address places the parts.

TKvCommodore64HiResBWEngine::TKvCommodore64HiResBWEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const TKvC64Layout& r = LayoutOf(kHiResBW, ASource);
  FBitmap = FData.Sub(r.Bitmap, kBitmapSize);
  SetUp(320, 200, 1, kAspect1To1, ProgramOf(r, ASource));
}

TKvMatchFlags TKvCommodore64HiResBWEngine::Match(TKvLoadSource& ASource) { return MatchLayout(kHiResBW, ASource); }

TKvCommodore64LoResEngine::TKvCommodore64LoResEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const TKvC64Layout& r = LayoutOf(kLoRes, ASource);
  FBackground = r.Background == kNo ? 0 : FData.U8(r.Background);
  FBitmap = FData.Sub(r.Bitmap, kBitmapSize);
  FScreen = FData.Sub(r.Screen, kCellCount);
  FColor = FData.Sub(r.Color, kCellCount);
  SetUp(160, 200, 4, kAspect2To1, ProgramOf(r, ASource));
}

TKvMatchFlags TKvCommodore64LoResEngine::Match(TKvLoadSource& ASource) { return MatchLayout(kLoRes, ASource); }

TKvCommodore64LoResPmgEngine::TKvCommodore64LoResPmgEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const TKvC64Layout& r = LayoutOf(kLoResPmg, ASource);
  FBackground = FData.U8(r.Background);
  FBitmap = FData.Sub(r.Bitmap, kBitmapSize);
  FScreen = FData.Sub(r.Screen, kCellCount);
  FColor = FData.Sub(r.Color, 1);
  FColorStep = 0;
  SetUp(160, 200, 4, kAspect2To1, ProgramOf(r, ASource));
}

TKvMatchFlags TKvCommodore64LoResPmgEngine::Match(TKvLoadSource& ASource) {
  return MatchLayout(kLoResPmg, ASource);
}

TKvCommodore64HiResEngine::TKvCommodore64HiResEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  const TKvC64Layout& r = LayoutOf(kHiRes, ASource);
  FBitmap = FData.Sub(r.Bitmap, kBitmapSize);
  FScreen = FData.Sub(r.Screen, kCellCount);
  SetUp(320, 200, 4, kAspect1To1, ProgramOf(r, ASource));
}

TKvMatchFlags TKvCommodore64HiResEngine::Match(TKvLoadSource& ASource) { return MatchLayout(kHiRes, ASource); }

TKvCommodore64HiResGigascreenEngine::TKvCommodore64HiResGigascreenEngine(TKvLoadSource& ASource)
    : TKvSourceEngineOf(ASource) {
  const TKvC64Layout& r = LayoutOf(kHiResGigascreen, ASource);
  FBitmap = FData.Sub(r.Bitmap, kBitmapSize);
  FScreen = FData.Sub(r.Screen, kCellCount);
  FBitmap2 = FData.Sub(16386, kBitmapSize);
  FScreen2 = FData.Sub(9218, kCellCount);
  SetUp(320, 200, 8, kAspect1To1, ProgramOf(r, ASource));
}

TKvMatchFlags TKvCommodore64HiResGigascreenEngine::Match(TKvLoadSource& ASource) {
  return MatchLayout(kHiResGigascreen, ASource);
}

// ---------------------------------------------------------------------------
// Unpacking.

namespace {

constexpr int32_t kUnpackLimit = 20000;

// The unpacked length of the data, or -1 past kUnpackLimit bytes.
template <class TReader>
int32_t UnpackedLength(const TKvLoadSource& ASource) {
  TReader LReader;
  LReader.Init(ASource.GetBytes());
  int32_t LLength = 0;
  uint8_t b;
  while (LReader.ReadByte(b))
    if (++LLength > kUnpackLimit) return -1;
  return LLength;
}

// The load address must match; the data must unpack to at least AMinimum
// and at most kUnpackLimit bytes. The own extension gives 3 (11 at exactly
// AExact bytes); otherwise only exactly AExact bytes give 9.
template <class TReader>
TKvMatchFlags MatchPacked(const TKvLoadSource& ASource, uint16_t ALoad, int32_t AMinimum, int32_t AExact,
                          const char* AExt) {
  if (ASource.GetBytes().Size() <= 2 || ASource.GetBytes().Le16(0) != ALoad) return 0;
  const int32_t LLength = UnpackedLength<TReader>(ASource);
  if (LLength < AMinimum) return 0;
  if (ASource.GetExtension() == AExt) return LLength == AExact ? mfHeader | mfExtension | mfSize : mfHeader | mfExtension;
  return LLength == AExact ? mfHeader | mfSize : 0;
}

// Unpacks into a zero-filled buffer of ABufferSize bytes, from AOffset on,
// at most AMaximum bytes.
template <class TReader>
void Unpack(const TKvBytes& AFile, std::vector<uint8_t>& ABuffer, size_t ABufferSize, size_t AOffset, size_t AMaximum) {
  ABuffer.assign(ABufferSize, 0);
  TReader LReader;
  LReader.Init(AFile);
  uint8_t b;
  for (size_t i = 0; i < AMaximum && LReader.ReadByte(b); ++i) ABuffer[AOffset + i] = b;
}

}  // namespace

// ---------------------------------------------------------------------------
// Packed files.

TKvCommodore64LoResAmiEngine::TKvCommodore64LoResAmiEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(160, 200, 4, kAspect2To1, " Amica Paint");
}

TKvMatchFlags TKvCommodore64LoResAmiEngine::Match(TKvLoadSource& ASource) {
  return MatchPacked<TKvAmicaRunReader>(ASource, 0x4000, 10001, 10001, ".ami");
}

std::unique_ptr<TKvBitmap> TKvCommodore64LoResAmiEngine::Decode() {
  if (FBuffer.empty()) Unpack<TKvAmicaRunReader>(FData, FBuffer, 10001, 0, 10001);
  const TKvBytes LUnpacked(FBuffer);
  FBackground = LUnpacked.U8(10000);
  FBitmap = LUnpacked.Sub(0, kBitmapSize);
  FScreen = LUnpacked.Sub(8000, kCellCount);
  FColor = LUnpacked.Sub(9000, kCellCount);
  return TKvCommodore64CommonLoResEngine::Decode();
}

TKvCommodore64LoResGgEngine::TKvCommodore64LoResGgEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(160, 200, 4, kAspect2To1, " Koala Painter compressed");
}

TKvMatchFlags TKvCommodore64LoResGgEngine::Match(TKvLoadSource& ASource) {
  return MatchPacked<TKvPackedRunReader>(ASource, 0x6000, 10001, 10001, ".gg");
}

std::unique_ptr<TKvBitmap> TKvCommodore64LoResGgEngine::Decode() {
  // The layout of a plain Koala Painter file, load-address gap included.
  if (FBuffer.empty()) Unpack<TKvPackedRunReader>(FData, FBuffer, 10003, 2, 10001);
  const TKvBytes LUnpacked(FBuffer);
  FBackground = LUnpacked.U8(10002);
  FBitmap = LUnpacked.Sub(2, kBitmapSize);
  FScreen = LUnpacked.Sub(8002, kCellCount);
  FColor = LUnpacked.Sub(9002, kCellCount);
  return TKvCommodore64CommonLoResEngine::Decode();
}

TKvCommodore64HiResJJEngine::TKvCommodore64HiResJJEngine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  SetUp(320, 200, 4, kAspect1To1, " Doodle compressed");
}

TKvMatchFlags TKvCommodore64HiResJJEngine::Match(TKvLoadSource& ASource) {
  return MatchPacked<TKvPackedRunReader>(ASource, 0x5C00, 9024, 9216, ".jj");
}

std::unique_ptr<TKvBitmap> TKvCommodore64HiResJJEngine::Decode() {
  // The layout of a plain Doodle file.
  if (FBuffer.empty()) Unpack<TKvPackedRunReader>(FData, FBuffer, 9218, 2, 9216);
  const TKvBytes LUnpacked(FBuffer);
  FBitmap = LUnpacked.Sub(1026, kBitmapSize);
  FScreen = LUnpacked.Sub(2, kCellCount);
  return TKvCommodore64CommonHiResEngine::Decode();
}

// ---------------------------------------------------------------------------
// Character-set pictures.

TKvCommodore64Lp3Engine::TKvCommodore64Lp3Engine(TKvLoadSource& ASource) : TKvSourceEngineOf(ASource) {
  if (!Match(ASource)) RaiseInternalError();
  SetUp(160, 400, 4, kAspect2To1, " Logo-Painter");
}

TKvMatchFlags TKvCommodore64Lp3Engine::Match(TKvLoadSource& ASource) {
  const int64_t LSize = ASource.GetBytes().Size();
  if ((LSize != 4098 && LSize != 4174) || ASource.GetBytes().Le16(0) != 0x1800) return 0;
  const std::string& LExt = ASource.GetExtension();
  return (LExt == ".lp3" || LExt == ".gfx") ? mfHeader | mfExtension | mfSize : mfHeader | mfSize;
}

std::unique_ptr<TKvBitmap> TKvCommodore64Lp3Engine::Decode() {
  BuildPalette();
  int LColors[4] = {0, 10, 2, 1};
  if (FData.Size() == 4174) {
    LColors[0] = FData.U8(2045) & 15;
    LColors[3] = FData.U8(2046) & 7;
    LColors[1] = FData.U8(2047) & 15;
    LColors[2] = FData.U8(2048) & 15;
  }
  const TKvBytes LCodes = FData.Sub(2, 2000);
  const TKvBytes LCharset = FData.Sub(2050, 2048);
  auto LBitmap = std::make_unique<TKvBitmap4>(160, 400, Palette.get());
  for (int y = 0; y < 400; ++y)
    for (int x = 0; x < 160; ++x) {
      const uint8_t LCode = LCodes.U8((y / 8) * 40 + x / 4);
      const uint8_t LPattern = LCharset.U8(LCode * 8 + y % 8);
      LBitmap->SetPixel(x, y, LColors[(LPattern >> (6 - 2 * (x % 4))) & 3]);
    }
  return LBitmap;
}

// ---------------------------------------------------------------------------

const std::vector<const TKvSourceEngineClass*>& Commodore64SourceEngineClasses() {
  static const std::vector<const TKvSourceEngineClass*> LClasses = {
      &SourceEngineClass<TKvCommodore64HiResBWEngine>(),
      &SourceEngineClass<TKvCommodore64LoResEngine>(),
      &SourceEngineClass<TKvCommodore64LoResPmgEngine>(),
      &SourceEngineClass<TKvCommodore64LoResAmiEngine>(),
      &SourceEngineClass<TKvCommodore64LoResGgEngine>(),
      &SourceEngineClass<TKvCommodore64HiResEngine>(),
      &SourceEngineClass<TKvCommodore64HiResJJEngine>(),
      &SourceEngineClass<TKvCommodore64HiResGigascreenEngine>(),
      &SourceEngineClass<TKvCommodore64Lp3Engine>(),
  };
  return LClasses;
}

void InitKvOpenPlatformCommodore64() {
  for (const TKvSourceEngineClass* c : Commodore64SourceEngineClasses()) RegisterSourceEngine(*c);
}
