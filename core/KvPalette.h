// Palettes and colour searches.
//
// TKvPalette is the abstract palette that every colour search works against;
// TKvPalette256 is the ordinary palette: up to 729 TKvColor entries (27 x 27,
// every ordered pair of a 27-colour set) with a file name, a display name and
// a change notification. Its storage grows with the colours it holds, so a
// two-colour palette costs a few hundred bytes, not the room for 729. The level-table palette TKvPaletteRGB lives in
// core/KvPaletteRGB.h.
//
// Threads: every read of an entry may fill its colour cache. Call
// UpdateCache() on a palette before several threads search it; afterwards
// the searches (linear RGB, gray and the Lab-based metrics) write nothing.
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>

#include "core/KvColor.h"
#include "rtl/KvSysUtils.h"

// Adding a 730th colour to a palette.
class ETooManyColors : public Exception {
public:
  ETooManyColors() : Exception("Too many colors") {}
  using Exception::Exception;
};

// Raises the colour core's plain exception "Internal error".
[[noreturn]] void RaiseInternalError();

// One byte per colour index of a palette of up to 4096 colours; non-zero
// means selected.
using TKvColorMask = std::array<uint8_t, 4096>;

class TKvPalette256;

// The colour differences of the Lab-based searches, between the colour
// searched for (ALab1) and a palette entry (ALab2), each given as L, a, b.
// CIE94 and CMC give the squared difference, CIEDE2000 the difference.
double ColorDiffCIE94(const TKvLinRGBColor& ALab1, const TKvLinRGBColor& ALab2);
double ColorDiffCIEDE2000(const TKvLinRGBColor& ALab1, const TKvLinRGBColor& ALab2);
double ColorDiffCMC(const TKvLinRGBColor& ALab1, const TKvLinRGBColor& ALab2);

class TKvPalette : public TObject {
public:

  // A new palette of the same class with the same colours.
  virtual std::unique_ptr<TKvPalette> Clone() const = 0;
  // True when APalette holds at least one colour and every one of them is
  // a colour of this palette (exact sRGB bytes). nullptr counts as empty.
  virtual bool ContainsColors(const TKvPalette256* APalette) const = 0;
  // The entry with the least squared linear-RGB distance, the first on
  // ties; -1 for an empty palette.
  virtual int FindNearest(const TKvLinRGBColor& AColor) const = 0;
  virtual int GetCount() const = 0;
  virtual TKvLinRGBColor GetLinRGB(int AIndex) const = 0;
  virtual double GetLinGray(int AIndex) const = 0;
  virtual TKvStdRGBColor GetStdRGB(int AIndex) const = 0;
  // $00RRGGBB.
  virtual uint32_t GetRGBQuad(int AIndex) const = 0;

  virtual int FindNearestByGray(const TKvColor& AColor) const = 0;
  // 0 linear RGB, 1 Lab, 2 CIE94, 3 CIEDE2000, 4 CMC.
  virtual int FindNearestByMetric(uint8_t AMetric, const TKvColor& AColor) const = 0;

  // Fills every cached colour form the searches read, so that worker
  // threads can search the palette at the same time.
  virtual void UpdateCache() const {}

  int FindNearestStdRGB(const TKvStdRGBColor& AColor) const;
};

// The colour table of a TKvPalette256: indexed and decayed to a pointer like
// the array it stands for, with room for only the entries held (at least
// MinCapacity). Entries never written read as zero records. Growing moves the
// table, so pointers and references into it hold only until the next entry
// is added.
class TKvPaletteColors {
public:
  static constexpr int MinCapacity = 4;

  TKvPaletteColors();
  ~TKvPaletteColors();
  TKvPaletteColors(const TKvPaletteColors&) = delete;
  TKvPaletteColors& operator=(const TKvPaletteColors&) = delete;

  // Unchecked, as an array's: 0 <= AIndex < GetCapacity().
  template <class I>
  TKvColor& operator[](I AIndex) {
    return FData[AIndex];
  }
  template <class I>
  const TKvColor& operator[](I AIndex) const {
    return FData[AIndex];
  }
  operator TKvColor*() { return FData; }
  operator const TKvColor*() const { return FData; }
  TKvColor* Data() { return FData; }
  const TKvColor* Data() const { return FData; }

  int GetCapacity() const { return FCapacity; }
  // Room for at least ACount entries (at most TKvPalette256::MaxColors); the
  // held entries keep their bytes, new room is zeroed.
  void Reserve(int ACount);

private:
  TKvColor* FData = nullptr;
  int FCapacity = 0;
};

class TKvPalette256 : public TKvPalette {
public:
  static constexpr int MaxColors = 729;

  int32_t UpdateCount = 0;
  std::string FileName;
  std::string Name;
  bool Generated = false;
  int32_t Count = 0;
  TKvPaletteColors Colors;
  // Called with the palette as sender on every notified change while
  // UpdateCount is 0.
  TNotifyEvent OnChange;

  TKvPalette256();
  TKvPalette256(const TKvPalette256&) = delete;
  TKvPalette256& operator=(const TKvPalette256&) = delete;
  ~TKvPalette256() override = default;

  void BeginUpdate();
  void EndUpdate();
  void Changed();

  std::unique_ptr<TKvPalette> Clone() const override;
  bool ContainsColors(const TKvPalette256* APalette) const override;
  int FindNearest(const TKvLinRGBColor& AColor) const override;
  int GetCount() const override { return Count; }
  TKvLinRGBColor GetLinRGB(int AIndex) const override { return Colors[AIndex].GetLinRGB(); }
  double GetLinGray(int AIndex) const override { return Colors[AIndex].GetLinGray(); }
  TKvStdRGBColor GetStdRGB(int AIndex) const override { return Colors[AIndex].GetStdRGB(); }
  uint32_t GetRGBQuad(int AIndex) const override { return Colors[AIndex].GetRGBQuad(); }
  int FindNearestByGray(const TKvColor& AColor) const override;
  int FindNearestByMetric(uint8_t AMetric, const TKvColor& AColor) const override;
  // Every form of every entry, Lab included.
  void UpdateCache() const override;

  PKvColor GetPColor(int AIndex) { return &Colors[AIndex]; }
  // Room for ACount colours (at most MaxColors) without growing on the way.
  void Reserve(int ACount) { Colors.Reserve(ACount); }

  // Whole-palette operations.
  void Clear();
  void AssignColors(const TKvPalette* APalette);
  void Assign(const TKvPalette256* APalette);
  bool SameColors(const TKvPalette256* APalette) const;
  void MakeGray();
  void ClearSkipFlags();
  void SortByGray(int AStart);

  // Adding and removing; every add raises ETooManyColors on a full palette.
  int AddRGB(uint8_t AR, uint8_t AG, uint8_t AB);
  int AddStdRGB(const TKvStdRGBColor& AColor);
  int AddLinRGB(const TKvLinRGBColor& AColor);
  int AddColor(const TKvColor& AColor);
  void InsertColor(int AIndex, uint8_t AR, uint8_t AG, uint8_t AB);
  void InsertStdRGB(int AIndex, const TKvStdRGBColor& AColor);
  int AddUniqueRGB(uint8_t AR, uint8_t AG, uint8_t AB);
  int AddUniqueStdRGB(const TKvStdRGBColor& AColor);
  int AddUniqueLinRGB(const TKvLinRGBColor& AColor);
  int AddUniqueColor(const TKvColor& AColor);
  void AddColors(const TKvPalette* APalette);
  void AddUniqueColors(const TKvPalette* APalette);
  void AddSelectedColors(const TKvColorMask& AMask, const TKvPalette* APalette);
  void Delete(int AIndex);

  // Lookups.
  int IndexOfStdRGB(const TKvStdRGBColor& AColor) const;
  int LocateStdRGB(const TKvStdRGBColor& AColor) const;
  int FindNearestColor(const TKvColor& AColor) const { return FindNearest(AColor.GetLinRGB()); }
  int FindNearestGray(double AGray) const;
  void GetGrayRange(int& ADark, int& ABright, double& ARange) const;

  // Linear range of entries AFirst..ALast (ALast = 0: the last entry).
  void NormalizeToWhite(int AFirst, int ALast);
  void NormalizeToBlack(int AFirst, int ALast);

  // Colour-difference searches on CIE Lab (-1 for an empty palette).
  int FindNearestLab(const TKvColor& AColor) const;
  int FindNearestCIE94(const TKvColor& AColor) const;
  int FindNearestCIEDE2000(const TKvColor& AColor) const;
  int FindNearestCMC(const TKvColor& AColor) const;

  // Growing a limited palette out of candidate colours.
  void AddDistantColors(const TKvPalette256* APalette, int AMaxCount);
  void AddColorPair(const TKvPalette* APair, int AMaxCount, int& AIndex1, int& AIndex2);
  bool MergeColors(TKvPalette256* APalette, int AMaxCount, int& ADark, int& ABright);

  // Built-in fills (defined in core/KvPaletteRGB.cpp).
  void FillGRB16(uint8_t ALevel);
  void FillBlackGrayWhite(uint8_t ALevel);
  void FillRGB64();
  void FillGray4();
  void FillBlackWhite();
  void FillWhiteBlack();
  void FillBGR8();
  void FillRGB8();
  void FillGRB8();
  void FillGRB16Levels(uint8_t AOff, uint8_t AOn, uint8_t ABrightOff, uint8_t ABrightOn);
  void FillGRB16Nearest(const TKvPalette* APalette);
  void FillBGR64();
  void FillBGR64Levels(const uint8_t (&ALevels)[4]);
  void FillB2G3R3();
  void FillNearestGBR16(const TKvPalette* APalette);
  void FillMixtures(const TKvPalette* APalette, int AMaxGrayDiff, int ACount);

  // Palette files (defined in core/KvPaletteFiles.cpp). Streams are read
  // from their current position; binary readers read little-endian data.
  void LoadFromFile(const std::string& AFileName);
  void LoadFromStream(std::istream& AStream);
  void LoadFromACTStream(std::istream& AStream);
  void LoadFromJASCStream(std::istream& AStream);
  void LoadFromGIMPStream(std::istream& AStream);
  void LoadFromRIFFStream(std::istream& AStream);
  void LoadFromBMPStream(std::istream& AStream);
  void LoadFromPNGStream(std::istream& AStream);
  void LoadFromGIFStream(std::istream& AStream);
  void SaveToFile(const std::string& AFileName) const;

private:
  // Appends a fresh entry (only AColor's form valid, Skip off, UseCount 0)
  // without notification; raises ETooManyColors when full.
  TKvColor& AppendRaw();
  void CheckRoom() const;
};
