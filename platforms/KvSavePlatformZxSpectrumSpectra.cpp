#include "platforms/KvSavePlatformZxSpectrumSpectra.h"

#include <cstring>
#include <initializer_list>
#include <type_traits>
#include <utility>

#include "core/KvImage.h"
#include "core/KvStream.h"
#include "platforms/KvPlatformZxSpectrum.h"
#include "rtl/KvSysUtils.h"
#include "shell/noxShellBaseExtension.h"

namespace {

bool Is64Colors(uint8_t APaletteType) { return APaletteType == ptColored64x1 || APaletteType == ptColored64x2; }
bool IsDoubleByte(uint8_t APaletteType) { return APaletteType == ptColored15x2 || APaletteType == ptColored64x2; }

}  // namespace

void WriteSpectraTrailer(TKvStream& AStream, uint8_t APaletteType, int ACellHeight, bool AHalfWidth) {
  const int64_t size = AStream.GetSize();
  if (size < SpectraTrailerSize) RaiseInternalError();
  uint8_t* t = AStream.GetMemory() + size - SpectraTrailerSize;
  t[0] = 'P';
  t[1] = 'S';
  const int code = SpectraHeightCode(ACellHeight);
  if (code < 0) RaiseInternalError();
  uint8_t mode = static_cast<uint8_t>(code);
  if (Is64Colors(APaletteType)) mode |= SpectraMode64Colors;
  if (IsDoubleByte(APaletteType)) mode |= SpectraModeDoubleByte;
  if (AHalfWidth) mode |= SpectraModeHalfWidth;
  t[2] = mode;
}

// ---------------------------------------------------------------------------
// Screens

TKvZxSpectrumSpectraColorScreen::TKvZxSpectrumSpectraColorScreen(void* AData, int ACellHeight, bool ADoubleByte,
                                                                 bool AHalfWidth)
    : TKvZxSpectrumColorScreen(AData), FCellHeight(ACellHeight), FDoubleByte(ADoubleByte), FHalfWidth(AHalfWidth) {}

uint8_t* TKvZxSpectrumSpectraColorScreen::FirstByte(int ACellX, int ACellY, int& AColumn) {
  const int columns = FHalfWidth ? 64 : 32;
  AColumn = MirrorX ? columns - 1 - ACellX : ACellX;
  return Data + SpectraAttrOffset(FCellHeight, FDoubleByte, ACellY, FHalfWidth ? AColumn >> 1 : AColumn);
}

TKvSpectraColor15x1Screen::TKvSpectraColor15x1Screen(void* AData, int ACellHeight)
    : TKvZxSpectrumSpectraColorScreen(AData, ACellHeight, false, false) {}

int TKvSpectraColor15x1Screen::GetAttr(int CellX, int CellY) {
  int c;
  return *FirstByte(CellX, CellY, c);
}

void TKvSpectraColor15x1Screen::SetAttr(int CellX, int CellY, int AAttr) {
  int c;
  *FirstByte(CellX, CellY, c) = static_cast<uint8_t>(AAttr);
}

TKvSpectraColor15x2Screen::TKvSpectraColor15x2Screen(void* AData, int ACellHeight)
    : TKvZxSpectrumSpectraColorScreen(AData, ACellHeight, true, false) {}

void TKvSpectraColor15x2Screen::SetAttr(int CellX, int CellY, int AAttr) {
  int c;
  uint8_t* first = FirstByte(CellX, CellY, c);
  *first = static_cast<uint8_t>((AAttr & 7) | ((AAttr & 8) << 3));
  *SecondByte(first, CellY) = static_cast<uint8_t>(((AAttr >> 4) & 7) | ((AAttr & 0x80) >> 1));
}

TKvSpectraColor64x1Screen::TKvSpectraColor64x1Screen(void* AData, int ACellHeight)
    : TKvZxSpectrumSpectraColorScreen(AData, ACellHeight, false, false) {}

void TKvSpectraColor64x1Screen::SetAttr(int CellX, int CellY, int AAttr) {
  int c;
  *FirstByte(CellX, CellY, c) = static_cast<uint8_t>((AAttr & 0x3F) | ((AAttr >> 8) != 0 ? 0x40 : 0));
}

TKvSpectraColor64x2Screen::TKvSpectraColor64x2Screen(void* AData, int ACellHeight)
    : TKvZxSpectrumSpectraColorScreen(AData, ACellHeight, true, false) {}

void TKvSpectraColor64x2Screen::SetAttr(int CellX, int CellY, int AAttr) {
  int c;
  uint8_t* first = FirstByte(CellX, CellY, c);
  *first = static_cast<uint8_t>(AAttr & 0x3F);
  *SecondByte(first, CellY) = static_cast<uint8_t>((AAttr >> 8) & 0x3F);
}

namespace {

// One half cell's 3-bit colour into the shared byte (bits 3-5 for the left,
// even column, 0-2 for the right), its bright into bit 6; the other half's
// bits and bit 7 stay.
void PutHalfColor(uint8_t& AByte, int AColumn, int AColor, bool ABright) {
  int b = AByte;
  if ((AColumn & 1) == 0)
    b = (b & 0x87) | ((AColor & 7) << 3);
  else
    b = (b & 0xB8) | (AColor & 7);
  b = (b & ~0x40) | (ABright ? 0x40 : 0);
  AByte = static_cast<uint8_t>(b);
}

}  // namespace

TKvSpectraHalfColor15x1Screen::TKvSpectraHalfColor15x1Screen(void* AData, int ACellHeight)
    : TKvZxSpectrumSpectraColorScreen(AData, ACellHeight, false, true) {}

void TKvSpectraHalfColor15x1Screen::SetAttr(int CellX, int CellY, int AAttr) {
  int c;
  uint8_t* first = FirstByte(CellX, CellY, c);
  PutHalfColor(*first, c, AAttr, (AAttr & 0x40) != 0);
}

TKvSpectraHalfColor15x2Screen::TKvSpectraHalfColor15x2Screen(void* AData, int ACellHeight)
    : TKvZxSpectrumSpectraColorScreen(AData, ACellHeight, true, true) {}

void TKvSpectraHalfColor15x2Screen::SetAttr(int CellX, int CellY, int AAttr) {
  int c;
  uint8_t* first = FirstByte(CellX, CellY, c);
  const int ink = (AAttr >> 8) & 15, paper = AAttr & 15;
  PutHalfColor(*first, c, ink, ink > 7);
  PutHalfColor(*SecondByte(first, CellY), c, paper, paper > 7);
}

TKvSpectraHalfColor64x2Screen::TKvSpectraHalfColor64x2Screen(void* AData, int ACellHeight)
    : TKvZxSpectrumSpectraColorScreen(AData, ACellHeight, true, true) {}

void TKvSpectraHalfColor64x2Screen::SetAttr(int CellX, int CellY, int AAttr) {
  int c;
  uint8_t* first = FirstByte(CellX, CellY, c);
  *((c & 1) == 0 ? SecondByte(first, CellY) : first) = static_cast<uint8_t>(AAttr & 0x3F);
}

// ---------------------------------------------------------------------------
// Candidate lists

namespace {

void AddPair(TKvCellPaletteList& AList, TKvPalette256& APalette, int APaper, int AInk) {
  AList.Add(std::make_unique<TKvCellPaperIncPalette>(APalette, APaper, AInk));
}

void AddPairs(TKvCellPaletteList& AList, TKvPalette256& APalette, std::initializer_list<std::pair<int, int>> APairs) {
  for (const auto& p : APairs) AddPair(AList, APalette, p.first, p.second);
}

// The singles of AColors in order, then every pair (v, w) with v before w.
void AddSinglesAndPairs(TKvCellPaletteList& AList, TKvPalette256& APalette, int AFirst, int ACount) {
  for (int i = 0; i < ACount; ++i) AddPair(AList, APalette, AFirst + i, AFirst + i);
  for (int i = 0; i < ACount; ++i)
    for (int j = i + 1; j < ACount; ++j) AddPair(AList, APalette, AFirst + i, AFirst + j);
}

}  // namespace

TKvZxSpectrumSpectra64ColorS1PaletteList::TKvZxSpectrumSpectra64ColorS1PaletteList(TKvPalette256& APalette) {
  AddPair(*this, APalette, 0, 0);
  AddPair(*this, APalette, 42, 42);
  for (int i = 1; i < 64; ++i) AddPair(*this, APalette, 0, i);
  for (int j = 1; j < 64; ++j)
    if (j != 42) AddPair(*this, APalette, 42, j);
}

TKvZxSpectrumSpectra64GrayS1PaletteList::TKvZxSpectrumSpectra64GrayS1PaletteList(TKvPalette256& APalette) {
  AddPairs(*this, APalette, {{0, 0}, {42, 42}, {0, 21}, {0, 42}, {0, 63}, {42, 0}, {42, 21}, {42, 63}});
}

TKvZxSpectrumSpectra64ColorS2PaletteList::TKvZxSpectrumSpectra64ColorS2PaletteList(TKvPalette256& APalette) {
  AddSinglesAndPairs(*this, APalette, 0, 64);
}

TKvZxSpectrumSpectra64GrayS2PaletteList::TKvZxSpectrumSpectra64GrayS2PaletteList(TKvPalette256& APalette) {
  AddPairs(*this, APalette,
           {{0, 0}, {21, 21}, {42, 42}, {63, 63}, {0, 21}, {0, 42}, {0, 63}, {21, 42}, {21, 63}, {42, 63}});
}

TKvZxSpectrumSpectraHalf64ColorS2PaletteList::TKvZxSpectrumSpectraHalf64ColorS2PaletteList(
    TKvPalette256& APalette) {
  for (int i = 0; i < 64; ++i) AddPair(*this, APalette, 0, i);
}

TKvZxSpectrumSpectraHalf64GrayS2PaletteList::TKvZxSpectrumSpectraHalf64GrayS2PaletteList(TKvPalette256& APalette) {
  AddPairs(*this, APalette, {{0, 0}, {0, 21}, {0, 42}, {0, 63}});
}

TKvSpectrumSpectraColor4xNx15x1PaletteList::TKvSpectrumSpectraColor4xNx15x1PaletteList(TKvPalette256& APalette,
                                                                                      bool ADark, bool AGray) {
  const int base = ADark ? 0 : 8;
  if (AGray) {
    AddPair(*this, APalette, base, base);
    AddPair(*this, APalette, base, base + 7);
    return;
  }
  for (int i = 0; i < 8; ++i) AddPair(*this, APalette, base, base + i);
}

TKvSpectrumSpectraColor4xNx15x2PaletteList::TKvSpectrumSpectraColor4xNx15x2PaletteList(TKvPalette256& APalette,
                                                                                      bool APaperBright,
                                                                                      bool AInkBright, bool AGray) {
  if (AGray) {
    if (!APaperBright && !AInkBright)
      AddPairs(*this, APalette, {{0, 0}, {7, 7}, {0, 7}});
    else if (!APaperBright)
      AddPairs(*this, APalette, {{0, 8}, {0, 15}, {7, 8}, {7, 15}});
    else if (!AInkBright)
      AddPairs(*this, APalette, {{8, 0}, {8, 7}, {15, 0}, {15, 7}});
    else
      AddPairs(*this, APalette, {{8, 8}, {15, 15}, {8, 15}});
    return;
  }
  const int paper = APaperBright ? 8 : 0, ink = AInkBright ? 8 : 0;
  if (APaperBright == AInkBright) {
    AddSinglesAndPairs(*this, APalette, paper, 8);
    return;
  }
  for (int p = 0; p < 8; ++p)
    for (int q = 0; q < 8; ++q) AddPair(*this, APalette, paper + p, ink + q);
}

// ---------------------------------------------------------------------------
// Cell images

TKvCellPaletteList* TKvZxSpectrumSpectraColor15Image::CreatePaletteList() {
  if (FGrayMode) return new TKvZxSpectrumGrayNoFlashPaletteList(*FPalette);
  return new TKvZxSpectrumColorNoFlashPaletteList(*FPalette);
}

void TKvZxSpectrumSpectraColor15Image::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                                   TKvCellPalette* ACellPalette) {
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, ((ACellPalette->IndexA << 4) & 0xFF) | (ACellPalette->IndexB & 0x0F));
}

TKvCellPaletteList* TKvZxSpectrumSpectraColor64x1Image::CreatePaletteList() {
  if (FGrayMode) return new TKvZxSpectrumSpectra64GrayS1PaletteList(*FPalette);
  return new TKvZxSpectrumSpectra64ColorS1PaletteList(*FPalette);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumSpectraColor64x1Image::CreateResult() {
  return std::make_unique<TKvBitmap8>(GetWidth(), GetHeight(), FPalette);
}

void TKvZxSpectrumSpectraColor64x1Image::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                                     TKvCellPalette* ACellPalette) {
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, (ACellPalette->IndexA << 8) | ACellPalette->IndexB);
}

TKvCellPaletteList* TKvZxSpectrumSpectraColor64x2Image::CreatePaletteList() {
  if (FGrayMode) return new TKvZxSpectrumSpectra64GrayS2PaletteList(*FPalette);
  return new TKvZxSpectrumSpectra64ColorS2PaletteList(*FPalette);
}

template <class TBase>
std::unique_ptr<TKvBitmap> TKvSpectraRowWalk<TBase>::Walk(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                          TKvDestProgress* AProgress, TKvCellScreen* ATarget) {
  constexpr bool kPaired = std::is_base_of_v<TKvDoubleCellImage, TBase>;
  // The row plan is that of a 256x192 screen with cells two lines high.
  if (this->FHeight != 192 || this->FCellHeight != 2) RaiseInternalError();
  // Whatever happens: the lists go first, then the scoring options.
  struct TCleanup {
    TKvSpectraRowWalk* Image;
    ~TCleanup() {
      if constexpr (kPaired) {
        Image->FPaletteList = nullptr;
        Image->FPaletteLists.clear();
      } else if (Image->FPaletteList) {
        Image->FreePaletteList(Image->FPaletteList);
        Image->FPaletteList = nullptr;
      }
      Image->FWorkOptions.reset();
    }
  } cleanup{this};
  this->FPaletteList = nullptr;
  this->PrepareConversion(AAbort, AOptions, AProgress, false);
  // The walk has more cell rows than the image's own grid: the ranges that
  // the block limits record need a place for every one of them.
  const int ownRows = this->FCellsDown;
  this->FCellsDown = WalkRows;
  this->FRanges = std::make_unique<TKvCellRanges>(*this);
  this->FCellsDown = ownRows;
  if constexpr (kPaired) {
    this->FPaletteLists.clear();
    const int n = this->GetPaletteListCount();
    for (int k = 0; k < n; ++k) this->FPaletteLists.emplace_back(this->CreatePaletteList(k));
  } else {
    this->FPaletteList = this->CreatePaletteList();
  }
  std::unique_ptr<TKvBitmap> result = this->CreateResult();
  const int across = this->FCellsAcross;
  const int total = across * WalkRows;
  int done = 0;
  this->FMirror = false;
  // Each cell takes the error of the cells before it: the cells are solved
  // in turn, each search shared by a team.
  this->WalkWithSearchTeam(kPaired ? nullptr : this->FPaletteList, [&] {
    for (int r = 0; r < WalkRows; ++r) {
      this->FCellY = r;
      this->BeginCellRow(result.get(), ATarget);
      const int top = r < 128 ? r : 2 * r - 128;
      auto cellRect = [&](int i) {
        TRect q = this->GetCellRect(i, 0);
        q.Top = top;
        q.Bottom = top + (r < 128 ? 1 : 2);
        return q;
      };
      for (int i = 0; i < across; ++i) {
        if (Aborted(AAbort)) Abort();
        this->FCellX = i;
        const TRect rect = cellRect(i);
        if constexpr (kPaired) {
          if (i % 2 == 0) {
            if (this->FPaletteLists.size() == 1) {
              this->FPaletteList = this->FPaletteLists[0].get();
            } else {
              TRect r2 = rect;
              r2.Left = rect.Right;
              r2.Right = i + 1 < across ? cellRect(i + 1).Right : r2.Left;
              this->ChoosePaletteList(rect, r2);
            }
          }
        }
        TKvCellPalette* candidate = nullptr;
        this->SolveCell(i, r, rect, candidate);
        this->RenderCell(result.get(), ATarget, i, r, rect, candidate);
        ++done;
        if (AProgress) AProgress->SetProgress(total, done);
      }
      if (this->FSerpentine) this->FMirror = !this->FMirror;
    }
  });
  if (result) result->MirrorX = false;
  if (ATarget) ATarget->MirrorX = false;
  return result;
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumSpectraColor8x1x15x2Image::Convert(bool* AAbort,
                                                                          TKvDestEngineOptions& AOptions,
                                                                          TKvDestProgress* AProgress,
                                                                          TKvCellScreen* ATarget) {
  ColorUsage = AOptions.ColorUsage;
  return Walk(AAbort, AOptions, AProgress, ATarget);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumSpectraColor8x1x15x2Image::ConvertGray(bool* AAbort,
                                                                              TKvDestEngineOptions& AOptions,
                                                                              TKvDestProgress* AProgress,
                                                                              TKvCellScreen* ATarget) {
  AOptions.SetUseAsGrayPalette(true);
  ColorUsage = 0;
  return Walk(AAbort, AOptions, AProgress, ATarget);
}

TKvCellPaletteList* TKvZxSpectrumSpectraColor8x1x64x2Image::CreatePaletteList() {
  if (FGrayMode) return new TKvZxSpectrumSpectra64GrayS2PaletteList(*FPalette);
  return new TKvZxSpectrumSpectra64ColorS2PaletteList(*FPalette);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumSpectraColor8x1x64x2Image::CreateResult() {
  return std::make_unique<TKvBitmap8>(GetWidth(), GetHeight(), FPalette);
}

void TKvZxSpectrumSpectraColor8x1x64x2Image::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                                         TKvCellPalette* ACellPalette) {
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, (ACellPalette->IndexA << 8) | ACellPalette->IndexB);
}

std::unique_ptr<TKvBitmap> TKvSpectrumSpectraColor4xNx15x1Image::Convert(bool* AAbort, TKvDestEngineOptions& AOptions,
                                                                        TKvDestProgress* AProgress,
                                                                        TKvCellScreen* ATarget) {
  ColorUsage = AOptions.ColorUsage;
  return TKvDoubleCellImage::Convert(AAbort, AOptions, AProgress, ATarget);
}

TKvCellPaletteList* TKvSpectrumSpectraColor4xNx15x1Image::CreatePaletteList(int AIndex) {
  const bool dark = ColorUsage == cuDarkAndBright ? AIndex == 0 : ColorUsage != cuBrightOnly;
  return new TKvSpectrumSpectraColor4xNx15x1PaletteList(*FPalette, dark, FGrayMode);
}

std::unique_ptr<TKvBitmap> TKvSpectrumSpectraColor4xNx15x1Image::ConvertGray(bool* AAbort,
                                                                            TKvDestEngineOptions& AOptions,
                                                                            TKvDestProgress* AProgress,
                                                                            TKvCellScreen* ATarget) {
  AOptions.SetUseAsGrayPalette(true);
  ColorUsage = 0;
  return TKvDoubleCellImage::Convert(AAbort, AOptions, AProgress, ATarget);
}

std::unique_ptr<TKvBitmap> TKvSpectrumSpectraColor4xNx15x1Image::CreateResult() {
  return std::make_unique<TKvBitmap4>(GetWidth(), GetHeight(), FPalette);
}

void TKvSpectrumSpectraColor4xNx15x1Image::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                                       TKvCellPalette* ACellPalette) {
  if (!ATarget) return;
  const int ink = ACellPalette->IndexB;
  ATarget->SetAttr(ACellX, ACellY, (ink & 7) | (ink > 7 || ColorUsage == cuDarkOnlyForceBright ? 0x40 : 0));
}

void TKvSpectrumSpectraColor4xNx15x1Image::SetResultPixel(TKvBitmap* AResult, int X, int Y,
                                                          TKvCellPalette* ACellPalette, int AIndex) {
  int c = AIndex == 1 ? ACellPalette->IndexB : ACellPalette->IndexA;
  // The forced bright bit shows the bright colour on the machine.
  if (ColorUsage == cuDarkOnlyForceBright && c < 8) c += 8;
  AResult->SetPixel(X, Y, c);
}

void TKvSpectrumSpectraColor4xNx15x1Image::SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette*,
                                                          int AIndex) {
  if (ATarget) ATarget->SetPixel(X, Y, AIndex);
}

TKvCellPaletteList* TKvSpectrumSpectraColor4xNx15x2Image::CreatePaletteList(int AIndex) {
  if (AIndex < 0 || AIndex > 3) return nullptr;
  return new TKvSpectrumSpectraColor4xNx15x2PaletteList(*FPalette, AIndex >= 2, (AIndex & 1) != 0, FGrayMode);
}

std::unique_ptr<TKvBitmap> TKvSpectrumSpectraColor4xNx15x2Image::ConvertGray(bool* AAbort,
                                                                            TKvDestEngineOptions& AOptions,
                                                                            TKvDestProgress* AProgress,
                                                                            TKvCellScreen* ATarget) {
  AOptions.SetUseAsGrayPalette(true);
  return Convert(AAbort, AOptions, AProgress, ATarget);
}

std::unique_ptr<TKvBitmap> TKvSpectrumSpectraColor4xNx15x2Image::CreateResult() {
  return std::make_unique<TKvBitmap4>(GetWidth(), GetHeight(), FPalette);
}

void TKvSpectrumSpectraColor4xNx15x2Image::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                                       TKvCellPalette* ACellPalette) {
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, (ACellPalette->IndexB << 8) | ACellPalette->IndexA);
}

void TKvSpectrumSpectraColor4xNx15x2Image::SetResultPixel(TKvBitmap* AResult, int X, int Y,
                                                          TKvCellPalette* ACellPalette, int AIndex) {
  AResult->SetPixel(X, Y, AIndex == 1 ? ACellPalette->IndexB : ACellPalette->IndexA);
}

void TKvSpectrumSpectraColor4xNx15x2Image::SetTargetPixel(TKvCellScreen* ATarget, int X, int Y, TKvCellPalette*,
                                                          int AIndex) {
  if (ATarget) ATarget->SetPixel(X, Y, AIndex);
}

TKvCellPaletteList* TKvZxSpectrumSpectraColor4xNx64x2Image::CreatePaletteList() {
  if (FGrayMode) return new TKvZxSpectrumSpectraHalf64GrayS2PaletteList(*FPalette);
  return new TKvZxSpectrumSpectraHalf64ColorS2PaletteList(*FPalette);
}

void TKvZxSpectrumSpectraColor4xNx64x2Image::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                                         TKvCellPalette* ACellPalette) {
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, ACellPalette->IndexB);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumSpectraColor4x1x15x2Image::Convert(bool* AAbort,
                                                                          TKvDestEngineOptions& AOptions,
                                                                          TKvDestProgress* AProgress,
                                                                          TKvCellScreen* ATarget) {
  return Walk(AAbort, AOptions, AProgress, ATarget);
}

TKvCellPaletteList* TKvZxSpectrumSpectraColor4x1x64x2Image::CreatePaletteList(int) {
  if (FGrayMode) return new TKvZxSpectrumSpectraHalf64GrayS2PaletteList(*FPalette);
  return new TKvZxSpectrumSpectraHalf64ColorS2PaletteList(*FPalette);
}

std::unique_ptr<TKvBitmap> TKvZxSpectrumSpectraColor4x1x64x2Image::CreateResult() {
  return std::make_unique<TKvBitmap8>(GetWidth(), GetHeight(), FPalette);
}

void TKvZxSpectrumSpectraColor4x1x64x2Image::SetCellAttr(TKvCellScreen* ATarget, int ACellX, int ACellY,
                                                         TKvCellPalette* ACellPalette) {
  if (ATarget) ATarget->SetAttr(ACellX, ACellY, (ACellPalette->IndexA << 8) | ACellPalette->IndexB);
}

// ---------------------------------------------------------------------------
// Options and panels

TKvZxSpectrumSpectra8x8EngineOptions::TKvZxSpectrumSpectra8x8EngineOptions() {
  SetPaletteType(ptColored64x2);
  SetPaletteMode(pmColor);
  SetErrorDiffusion(90);
}

void TKvZxSpectrumSpectra8x8EngineOptions::UpdatePalette() {
  if (UpdateCount > 0) return;
  GetPalette()->Clear();
  if (PaletteMode == pmBlackWhite)
    SetBlackWhitePalette();
  else
    BuildSpectraPalette();
}

TKvZxSpectrumSpectra4x8EngineOptions::TKvZxSpectrumSpectra4x8EngineOptions() { SetPaletteType(ptColored15x2); }

TKvZxSpectrumSpectra8x8EngineUI::TKvZxSpectrumSpectra8x8EngineUI(TKvDestEngineOptions* AOptions, bool ASingleByte64)
    : TKvDestEngineUIEx(AOptions) {
  AddPositionSection();
  AddZxGigaScreenPaletteSection(ASingleByte64, PaletteModes(pmBlackWhite, pmGray, pmColor));
  AddColorUsageSection(true);
  AddDitheringSection(false);
}

bool TKvZxSpectrumSpectra8x8EngineUI::ColorUsageEnabled(const TKvDestEngineOptions& AOptions) {
  return AOptions.PaletteMode == pmColor && AOptions.PaletteType == ptColored15x1;
}

void TKvZxSpectrumSpectra8x8EngineUI::CheckOptions(IKvPanelControls& AControls) {
  TKvDestEngineUIEx::CheckOptions(AControls);
  AControls.SetEnabled(pcColorUsageLabel, ColorUsageEnabled(*GetOptions()));
  AControls.SetEnabled(pcColorUsageCombo, AControls.GetEnabled(pcColorUsageLabel));
}

// ---------------------------------------------------------------------------
// Conversion

namespace {

template <class TImage>
std::unique_ptr<TKvBitmap> RunSpectraImage(int ACellWidth, int ACellHeight, TBitmap32& ABitmap, bool AGray,
                                           bool* AAbort, TKvDestEngineOptions& AOptions, TKvDestProgress& AProgress,
                                           TKvCellScreen& AScreen) {
  TImage image(ACellWidth, ACellHeight, ABitmap);
  if (AGray) return image.ConvertGray(AAbort, AOptions, &AProgress, &AScreen);
  return image.Convert(AAbort, AOptions, &AProgress, &AScreen);
}

std::unique_ptr<TKvCellScreen> NewSpectraScreen(uint8_t APaletteType, int ACellHeight, bool AHalfWidth, void* AData) {
  if (AHalfWidth) switch (APaletteType) {
      case ptColored15x1: return std::make_unique<TKvSpectraHalfColor15x1Screen>(AData, ACellHeight);
      case ptColored15x2: return std::make_unique<TKvSpectraHalfColor15x2Screen>(AData, ACellHeight);
      default: return std::make_unique<TKvSpectraHalfColor64x2Screen>(AData, ACellHeight);
    }
  switch (APaletteType) {
    case ptColored15x1: return std::make_unique<TKvSpectraColor15x1Screen>(AData, ACellHeight);
    case ptColored15x2: return std::make_unique<TKvSpectraColor15x2Screen>(AData, ACellHeight);
    case ptColored64x1: return std::make_unique<TKvSpectraColor64x1Screen>(AData, ACellHeight);
    default: return std::make_unique<TKvSpectraColor64x2Screen>(AData, ACellHeight);
  }
}

// Colour or gray: the image of the palette type and cell, into AScreen.
std::unique_ptr<TKvBitmap> ConvertSpectraCells(TKvConvertArgs& AArgs, TKvCellScreen& AScreen, int ACellHeight,
                                               bool AHalfWidth) {
  TKvDestEngineOptions& options = AArgs.Options;
  const bool gray = options.PaletteMode == pmGray;
  const int H = ACellHeight;
  auto run = [&](auto* AImageType, int ACellWidth, int AImageCellHeight) {
    using TImage = std::remove_pointer_t<decltype(AImageType)>;
    return RunSpectraImage<TImage>(ACellWidth, AImageCellHeight, AArgs.Bitmap, gray, AArgs.Abort, options,
                                   AArgs.Progress, AScreen);
  };
  // The double-byte height-1 images walk their own rows over cells two
  // lines high.
  if (AHalfWidth) switch (options.PaletteType) {
      case ptColored15x1: return run(static_cast<TKvSpectrumSpectraColor4xNx15x1Image*>(nullptr), 4, H);
      case ptColored15x2:
        if (H == 1) return run(static_cast<TKvZxSpectrumSpectraColor4x1x15x2Image*>(nullptr), 4, 2);
        return run(static_cast<TKvSpectrumSpectraColor4xNx15x2Image*>(nullptr), 4, H);
      default:
        if (H == 1) return run(static_cast<TKvZxSpectrumSpectraColor4x1x64x2Image*>(nullptr), 4, 2);
        return run(static_cast<TKvZxSpectrumSpectraColor4xNx64x2Image*>(nullptr), 4, H);
    }
  switch (options.PaletteType) {
    case ptColored15x1: return run(static_cast<TKvSpectrumZxColorImage*>(nullptr), 8, H);
    case ptColored15x2:
      if (H == 1) return run(static_cast<TKvZxSpectrumSpectraColor8x1x15x2Image*>(nullptr), 8, 2);
      return run(static_cast<TKvZxSpectrumSpectraColor15Image*>(nullptr), 8, H);
    case ptColored64x1: return run(static_cast<TKvZxSpectrumSpectraColor64x1Image*>(nullptr), 8, H);
    default:
      if (H == 1) return run(static_cast<TKvZxSpectrumSpectraColor8x1x64x2Image*>(nullptr), 8, 2);
      return run(static_cast<TKvZxSpectrumSpectraColor64x2Image*>(nullptr), 8, H);
  }
}

// Attribute bytes that show the file in black and white: (first area,
// second area, the preview inverted because set bits show white). -1 leaves
// an area as it is.
struct TSpectraBWFill {
  int First;
  int Second;
  bool Invert;
};

TSpectraBWFill SpectraBWFill(uint8_t APaletteType, bool AHalfWidth) {
  switch (APaletteType) {
    case ptColored15x1: return AHalfWidth ? TSpectraBWFill{0x7F, -1, true} : TSpectraBWFill{0x78, -1, false};
    case ptColored15x2: return AHalfWidth ? TSpectraBWFill{0x00, 0x7F, false} : TSpectraBWFill{0x00, 0x47, false};
    case ptColored64x1: return TSpectraBWFill{0x3F, -1, true};
    default: return AHalfWidth ? TSpectraBWFill{0x3F, 0x3F, true} : TSpectraBWFill{0x00, 0x3F, false};
  }
}

void FillSpectraAreas(uint8_t* AData, int ACellHeight, bool ADoubleByte, bool ASecond, int AValue) {
  if (AValue < 0) return;
  const TSpectraAreas a = SpectraAttrAreas(ACellHeight, ADoubleByte, ASecond);
  for (int k = 0; k < a.Count; ++k)
    std::memset(AData + a.Runs[k].Offset, AValue, static_cast<size_t>(a.Runs[k].Length));
}

}  // namespace

std::unique_ptr<TKvBitmap> ConvertSpectra(TKvConvertArgs& AArgs, int ACellHeight, bool AHalfWidth) {
  TKvDestEngineOptions& options = AArgs.Options;
  const uint8_t type = options.PaletteType;
  // Half-width cells have no single-byte 64-colour form: a cell could show
  // only black or gray on its clear pixels, and the black-and-white file
  // would keep its attributes unset.
  if (type < ptColored15x1 || type > ptColored64x2 || (AHalfWidth && type == ptColored64x1))
    RaiseOSError(ERROR_INVALID_PARAMETER);
  const bool doubleByte = IsDoubleByte(type);
  const int size = SpectraImageSize(SpectraHeightCode(ACellHeight), doubleByte) + SpectraTrailerSize;
  AArgs.Streams = std::make_unique<TKvStreamList>();
  TKvStream* stream = AArgs.Streams->NewStreamFilled("bin", size, 255);
  WriteSpectraTrailer(*stream, type, ACellHeight, AHalfWidth);
  uint8_t* data = stream->GetMemory();

  if (options.PaletteMode == pmBlackWhite) {
    TKvImage image(AArgs.Bitmap);
    const TSpectraBWFill fill = SpectraBWFill(type, AHalfWidth);
    FillSpectraAreas(data, ACellHeight, doubleByte, false, fill.First);
    FillSpectraAreas(data, ACellHeight, doubleByte, true, fill.Second);
    TKvZxSpectrumSpectraBWScreen screen(data);
    auto result = image.ConvertBW(AArgs.Abort, options, &screen, nullptr, fill.Invert ? 1 : 0, fill.Invert ? 0 : 1);
    if (fill.Invert) InvertPixels(result.get());
    return result;
  }

  // Colour usage decides only between the normal and the bright colours of a
  // single attribute byte; the other forms give each colour its own bright
  // (or have none), and a usage left from that choice must not limit them.
  if (type != ptColored15x1) options.SetColorUsage(cuDarkAndBright);
  const bool c64 = Is64Colors(type);
  std::unique_ptr<TKvCellScreen> screen = NewSpectraScreen(type, ACellHeight, AHalfWidth, data);
  if (c64)
    options.BuildSpectra64Palette();
  else
    options.BuildSpectra15Palette();
  auto result = ConvertSpectraCells(AArgs, *screen, ACellHeight, AHalfWidth);
  if (options.PaletteMode == pmGray) {
    if (c64)
      options.BuildSpectra64GrayPalette();
    else
      options.BuildSpectra15GrayPalette();
  }
  return result;
}

// ---------------------------------------------------------------------------

const std::vector<const TKvDestEngineClass*>& ZxSpectrumSpectraDestEngineClasses() {
  return DestEngineClasses<TKvZxSpectrumSpectra8x1Engine, TKvZxSpectrumSpectra8x2Engine, TKvZxSpectrumSpectra8x4Engine,
                           TKvZxSpectrumSpectra8x8Engine, TKvZxSpectrumSpectra4x1Engine, TKvZxSpectrumSpectra4x2Engine,
                           TKvZxSpectrumSpectra4x4Engine, TKvZxSpectrumSpectra4x8Engine>();
}

void InitKvSavePlatformZxSpectrumSpectra() { RegisterDestEngines(ZxSpectrumSpectraDestEngineClasses()); }
