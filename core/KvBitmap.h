// Native pixel containers: palette indexes (or $RRGGBB) laid out the way a
// target screen or file stores them, behind one GetPixel / SetPixel interface.
//
// Screens are views over memory that the caller owns (usually the data of an
// output stream), rows top-down. Bitmaps own their pixel memory (a DIB-like
// section with a colour table), rows bottom-up as in a Windows DIB, a copy of
// their palette and optional extra frames.
//
// Coordinates outside the picture are outside the contract: nothing checks
// them. With MirrorX set, X is addressed as Width - 1 - X.
#pragma once

#include "bitmap/B32.h"
#include "core/KvColor.h"
#include "core/KvPalette.h"

#include <cstdint>
#include <memory>
#include <vector>

class TKvData {
public:
  TKvData(int AWidth, int AHeight) : Width(AWidth), Height(AHeight) {}
  virtual ~TKvData() = default;
  TKvData(const TKvData&) = delete;
  TKvData& operator=(const TKvData&) = delete;

  virtual int GetPixel(int X, int Y) = 0;
  virtual void SetPixel(int X, int Y, int AColor) = 0;

  int Width;
  int Height;
  bool MirrorX = false;

protected:
  int MX(int X) const { return MirrorX ? Width - 1 - X : X; }
};

class TKvBitmapData : public TKvData {
public:
  TKvBitmapData(int AWidth, int AHeight, void* AData)
      : TKvData(AWidth, AHeight), Data(static_cast<uint8_t*>(AData)) {}

  // Rows top-down: Data + AIndex * Stride.
  virtual uint8_t* GetScanline(int AIndex) { return Data + static_cast<intptr_t>(AIndex) * Stride; }

  int Stride = 0;
  uint8_t* Data;  // not owned
};

// 1 bit per pixel, bit 7 is the leftmost; any non-zero value sets the bit.
class TKvScreen1 : public TKvBitmapData {
public:
  TKvScreen1(int AWidth, int AHeight, void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
};

// 2 bits per pixel, the leftmost pixel in bits 7-6.
class TKvScreen2 : public TKvBitmapData {
public:
  TKvScreen2(int AWidth, int AHeight, void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
};

// 4 bits per pixel, even X in the high nibble.
class TKvScreen4 : public TKvBitmapData {
public:
  TKvScreen4(int AWidth, int AHeight, void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
};

class TKvScreen8 : public TKvBitmapData {
public:
  TKvScreen8(int AWidth, int AHeight, void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
};

// One little-endian 16-bit word per pixel.
class TKvScreen16 : public TKvBitmapData {
public:
  TKvScreen16(int AWidth, int AHeight, void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
};

// Screens with attribute cells; converter screens implement the attributes.
class TKvCellScreen : public TKvScreen1 {
public:
  using TKvScreen1::TKvScreen1;
  virtual int GetAttr(int CellX, int CellY) = 0;
  virtual void SetAttr(int CellX, int CellY, int AAttr) = 0;
};

// Two-frame attribute screens.
class TKvCellGigaScreen : public TKvCellScreen {
public:
  using TKvCellScreen::TKvCellScreen;
  virtual int GetPixel2(int X, int Y) = 0;
  virtual void SetPixel2(int X, int Y, int AColor) = 0;
  virtual int GetAttr2(int CellX, int CellY) = 0;
  virtual void SetAttr2(int CellX, int CellY, int AAttr) = 0;
};

// Bytes per row of a DIB: rows padded to 32 bits; 15 bits count as 16.
int GetDIBStride(int AWidth, int ABitCount);
// Colour-table size: 2^ABitCount for 1 to 8 bits, 0 otherwise.
int GetDIBColorCount(int ABitCount);

// The pixel memory of a bitmap with the header facts and colour table that
// saving and the clipboard need. Rows bottom-up.
struct TKvDIBSection {
  int Width = 0;
  int Height = 0;
  int BitCount = 0;
  int Stride = 0;
  std::vector<uint32_t> ColorTable;  // $00RRGGBB
  std::vector<uint8_t> Bits;         // Stride * Height bytes
};

class TKvBitmapList;

class TKvBitmap : public TKvBitmapData {
public:
  ~TKvBitmap() override;

  // Rows bottom-up: row 0 is the last row in memory.
  uint8_t* GetScanline(int AIndex) override {
    return Data + static_cast<intptr_t>(Height - AIndex - 1) * Stride;
  }

  // A new opaque TBitmap32 in which each pixel fills an AScaleX by AScaleY
  // block; indexes at or beyond the palette's count become black. Scale
  // factors below 1 raise "Internal error".
  virtual std::unique_ptr<TBitmap32> ToBitmap32(int AScaleX, int AScaleY);
  // A new empty bitmap of the same class.
  virtual std::unique_ptr<TKvBitmap> CreateSimilar(int AWidth, int AHeight) = 0;
  virtual TKvStdRGBColor GetPixelStdRGB(int X, int Y) = 0;

  // A copy with every pixel repeated into an AScaleX by AScaleY block.
  std::unique_ptr<TKvBitmap> CreateScaled(int AScaleX, int AScaleY);
  // A new frame of the same size, owned by Frames: 1 bit for palettes below
  // 3 colours, 4 bits below 17, 8 bits below 257, 24 bits otherwise or for nil.
  TKvBitmap* AddFrame(TKvPalette* APalette);
  // Hands Frames to the caller (nil when there are none).
  std::unique_ptr<TKvBitmapList> ReleaseFrames();
  TKvBitmapList* GetFrames() const { return Frames.get(); }
  // The pixel memory; Data stays valid while the section lives.
  TKvDIBSection* GetHandle() const { return Handle.get(); }
  // Hands the pixel memory to the caller.
  std::unique_ptr<TKvDIBSection> ReleaseHandle();

  std::unique_ptr<TKvPalette256> Palette;  // never nil
  int BitCount = 0;

protected:
  TKvBitmap(int AWidth, int AHeight);
  // Makes the zero-filled pixel memory and its colour table. With no palette
  // and 1 bit, the table is black and white. Impossible sizes raise
  // EOutOfResources with no message.
  void AllocateDIB(int ABitCount, TKvPalette* APalette);

  // The opaque picture with each index looked up in AColors (black beyond).
  std::unique_ptr<TBitmap32> RenderBitmap32(const std::vector<uint32_t>& AColors, int AScaleX, int AScaleY);

  std::unique_ptr<TKvDIBSection> Handle;
  std::unique_ptr<TKvBitmapList> Frames;
};

class TKvBitmap1 : public TKvBitmap {
public:
  TKvBitmap1(int AWidth, int AHeight, TKvPalette* APalette);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  std::unique_ptr<TKvBitmap> CreateSimilar(int AWidth, int AHeight) override;
  // White for a set bit, black otherwise, whatever the palette holds.
  TKvStdRGBColor GetPixelStdRGB(int X, int Y) override;
  // Without a palette the pixels show black and white, as the colour table
  // of such a bitmap holds; otherwise as for every indexed bitmap.
  std::unique_ptr<TBitmap32> ToBitmap32(int AScaleX, int AScaleY) override;
};

class TKvBitmap4 : public TKvBitmap {
public:
  TKvBitmap4(int AWidth, int AHeight, TKvPalette* APalette);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  std::unique_ptr<TKvBitmap> CreateSimilar(int AWidth, int AHeight) override;
  TKvStdRGBColor GetPixelStdRGB(int X, int Y) override;
};

class TKvBitmap8 : public TKvBitmap {
public:
  TKvBitmap8(int AWidth, int AHeight, TKvPalette* APalette);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  std::unique_ptr<TKvBitmap> CreateSimilar(int AWidth, int AHeight) override;
  TKvStdRGBColor GetPixelStdRGB(int X, int Y) override;
};

// True colour: bytes B, G, R; the pixel value is $RRGGBB.
class TKvBitmap24 : public TKvBitmap {
public:
  TKvBitmap24(int AWidth, int AHeight);
  // The pixels of ABitmap without alpha.
  static std::unique_ptr<TKvBitmap24> CreateFromBitmap32(const TBitmap32& ABitmap);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  std::unique_ptr<TBitmap32> ToBitmap32(int AScaleX, int AScaleY) override;
  std::unique_ptr<TKvBitmap> CreateSimilar(int AWidth, int AHeight) override;
  TKvStdRGBColor GetPixelStdRGB(int X, int Y) override;
};

// For every pixel SetPixel(X, Y, 1 - GetPixel(X, Y)); meant for 1-bit pictures.
void InvertPixels(TKvData* AData);

// Owning lists of pictures.
class TKvBitmapList {
public:
  TKvBitmapList() = default;
  ~TKvBitmapList();  // frees the items from the last to the first
  TKvBitmapList(const TKvBitmapList&) = delete;
  TKvBitmapList& operator=(const TKvBitmapList&) = delete;

  // Takes ownership; ABitmap is left empty. Returns the index.
  int Add(std::unique_ptr<TKvBitmap>& ABitmap);
  int GetCount() const { return static_cast<int>(FItems.size()); }
  TKvBitmap* GetBitmap(int AIndex) const { return FItems[static_cast<size_t>(AIndex)].get(); }

private:
  std::vector<std::unique_ptr<TKvBitmap>> FItems;
};

class TKvBitmap32List {
public:
  TKvBitmap32List() = default;
  ~TKvBitmap32List();  // frees the items from the last to the first
  TKvBitmap32List(const TKvBitmap32List&) = delete;
  TKvBitmap32List& operator=(const TKvBitmap32List&) = delete;

  int Add(std::unique_ptr<TBitmap32>& ABitmap);
  int GetCount() const { return static_cast<int>(FItems.size()); }
  TBitmap32* GetBitmap(int AIndex) const { return FItems[static_cast<size_t>(AIndex)].get(); }

private:
  std::vector<std::unique_ptr<TBitmap32>> FItems;
};
