// Reading native screen files back: the file under examination
// (TKvLoadSource), the importer contract (TKvSourceEngine with its class
// descriptor), the registry of importer classes, the probe that ranks the
// importers that recognise a file, and a bounds-checked byte reader.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/KvAppServices.h"
#include "core/KvBytes.h"
#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

class TKvBitmap;
class TKvData;
class TKvSourceEngine;
class TKvSourceEngineClass;
class TKvSourceEngineList;
class TKvMemoryLoadSource;

// Match flags of TKvSourceEngineClass::Match, with their rank weights.
using TKvMatchFlags = uint8_t;
constexpr TKvMatchFlags mfHeader = 1;     // a header or internal structure was verified (8)
constexpr TKvMatchFlags mfExtension = 2;  // the format's own extension (4)
constexpr TKvMatchFlags mfName = 4;       // a name prefix or a companion file (2)
constexpr TKvMatchFlags mfSize = 8;       // exactly the format's size (1)

// The rank of a set of match flags: a verified header outranks everything
// else, an exact size alone ranks lowest.
int MatchFlagsRank(TKvMatchFlags AFlags);

// A file read into memory: the opened file itself or a companion file.
struct TKvLoadSourceRec {
  std::string Name;  // as asked for
  std::string Ext;   // lower case with its dot
  const uint8_t* Data = nullptr;
  int32_t Size = 0;
  std::vector<uint8_t> Bytes;  // owns what Data points to
  TKvBytes View() const { return TKvBytes(Data, Size); }
};

// The file an importer reads.
class TKvLoadSource {
public:
  virtual ~TKvLoadSource();

  // A companion file of the source by name, or nullptr.
  virtual const TKvLoadSourceRec* GetFile(const std::string& AName);

  // Asks every class, in list order, about this source; the candidates that
  // answer with a non-empty set are ranked best first.
  std::unique_ptr<TKvSourceEngineList> MatchEngines(const std::vector<const TKvSourceEngineClass*>& AClasses);
  // The probe over the registry; unwraps a +3DOS or Hobeta header when no
  // importer recognises the file itself.
  std::unique_ptr<TKvSourceEngineList> FindEngines();
  std::unique_ptr<TKvSourceEngineList> FindEngines(const std::vector<const TKvSourceEngineClass*>& AClasses);

  TKvMemoryLoadSource* GetInner() const { return FInner.get(); }
  const std::string& GetFileName() const { return FFileName; }
  const std::string& GetExtension() const { return FExtension; }
  const uint8_t* GetData() const { return FData; }
  int32_t GetSize() const { return FSize; }
  // The file's bytes, the view every importer reads them through.
  TKvBytes GetBytes() const { return TKvBytes(FData, FSize); }

protected:
  std::unique_ptr<TKvMemoryLoadSource> FInner;
  std::string FFileName;
  std::string FExtension;
  const uint8_t* FData = nullptr;
  int32_t FSize = 0;
};

// A disk file with access to the files beside it.
class TKvFileLoadSource : public TKvLoadSource {
public:
  explicit TKvFileLoadSource(const std::string& AFileName);

  // Files of 0xA00000 bytes or more, unreadable ones and names that would
  // leave the folder give nullptr. Records stay valid while more are added.
  const TKvLoadSourceRec* GetFile(const std::string& AName) override;
  const std::string& GetFolder() const { return FFolder; }

private:
  std::string FFolder;
  std::deque<TKvLoadSourceRec> FFiles;
};

// A block of memory, usually cut out of a container.
class TKvMemoryLoadSource : public TKvLoadSource {
public:
  TKvMemoryLoadSource(const std::string& AName, const uint8_t* AData, int32_t ASize, bool AOwnsData);
  ~TKvMemoryLoadSource() override;

private:
  bool FOwnsData;
};

// The lower-cased extension of a file name with its dot, empty without one.
std::string LowerFileExt(const std::string& AFileName);

// Base of every importer.
class TKvSourceEngine {
public:
  explicit TKvSourceEngine(TKvLoadSource& ASource);
  virtual ~TKvSourceEngine();

  virtual const TKvSourceEngineClass& ClassType() const = 0;
  // Decodes the file into a new native bitmap and fills Palette; nullptr in
  // the base.
  virtual std::unique_ptr<TKvBitmap> Decode();
  // Fills APalette with palette variant AIndex; nothing in the base.
  virtual void GetVariantPalette(int AIndex, TKvPalette256& APalette);

  int GetPaletteVariantCount() const { return static_cast<int>(Variants.size()); }
  const std::string& GetPaletteVariant(int AIndex) const { return Variants.at(static_cast<size_t>(AIndex)); }
  // Creates Palette2 when it is missing.
  void NeedPalette2();
  // Palette2 := the base colours, Palette := all their pairwise mixtures.
  void MakeGigaScreenPalette();
  // Black then white (white then black when inverted), as exact linear colours.
  void SetMonoPalette(bool AInverted);
  void SetMonoGigaScreenPalette();
  // The 16 ZX Spectrum colours: the eight at ALevel, then the eight at 255.
  void SetZxSpectrumPalette(uint8_t ALevel);
  // " WxHxBits", for descriptions.
  std::string GetSizeText() const;

  // Appends a palette kind the import dialog offers; returns the new count.
  int AddPaletteType(TKvPaletteType AType);
  // The three ZX Spectrum palette models.
  void SetZxPaletteTypes();
  int GetPaletteTypeCount() const { return static_cast<int>(PaletteTypes.size()); }
  TKvPaletteType GetPaletteType(int AIndex) const { return PaletteTypes.at(static_cast<size_t>(AIndex)); }

  static void DecodeZxAttribute(uint8_t AAttr, int& APaper, int& AInk);

  // Pixel writers. ACol counts whole source bytes, so the first pixel's x is
  // ACol times the pixels per byte; ACount pixels are written, at most a
  // byte's worth. The Row forms take ACount bytes (or byte pairs) from moving
  // pointers. Pixels outside a bitmap, and bitmaps not given, are skipped.
  static void PutPlanes2x1Lsb(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, uint8_t A, uint8_t B,
                              int ACol, int Y, int ACount);
  static void PutPlanes2x1(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, uint8_t A, uint8_t B, int ACol,
                           int Y, int ACount);
  static void PutPlanes2x1Row(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, const uint8_t*& APA,
                              const uint8_t*& APB, int ACol, int Y, int ACount);
  static void PutPixels2Bit(TKvData* ABitmap, uint8_t A, int ACol, int Y, int ACount);
  static void PutPixels2BitRow(TKvData* ABitmap, const uint8_t*& AP, int ACol, int Y, int ACount);
  static void PutPlanes2x2(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, uint8_t A, uint8_t B, int ACol,
                           int Y, int ACount);
  static void PutPlanes2x2Row(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, const uint8_t*& APA,
                              const uint8_t*& APB, int ACol, int Y, int ACount);
  static void PutPixels4Bit(TKvData* ABitmap, uint8_t A, int ACol, int Y, int ACount);
  static void PutPlanes2x4(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, uint8_t A, uint8_t B, int ACol,
                           int Y, int ACount);
  static void PutPlanes2x4Row(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, const uint8_t*& APA,
                              const uint8_t*& APB, int ACol, int Y, int ACount);
  static void PutInkPaperByte(TKvData* ABitmap, uint8_t A, int APaper, int AInk, int ACol, int Y, int ACount);
  static void PutInkPaperPlanes(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, uint8_t A, uint8_t B,
                                int APaperA, int AInkA, int APaperB, int AInkB, int ACol, int Y, int ACount);
  static void PutInkPaperNibble(TKvData* ABitmap, uint8_t A, int APaper, int AInk, int ACol, int Y, int ACount);
  // Copy ACount bytes and advance ASrc; the caller has checked the size.
  static void ReadBytes(void* ADest, const uint8_t*& ASrc, int ACount);
  // The same with the bit order of every byte reversed.
  static void ReadBytesReversed(void* ADest, const uint8_t*& ASrc, int ACount);
  // The forms over a row of a byte view (TKvBytes::Row): they take what the
  // row holds, so a row cut short by the data's end writes only its part.
  static void ReadBytes(void* ADest, std::span<const uint8_t> ARow);
  static void ReadBytesReversed(void* ADest, std::span<const uint8_t> ARow);
  static void PutPlanes2x1Row(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, std::span<const uint8_t> ARowA,
                              std::span<const uint8_t> ARowB, int ACol, int Y);
  static void PutPixels2BitRow(TKvData* ABitmap, std::span<const uint8_t> ARow, int ACol, int Y);
  static void PutPlanes2x2Row(TKvData* ABitmap1, TKvData* ABitmap2, TKvData* ABitmap3, std::span<const uint8_t> ARowA,
                              std::span<const uint8_t> ARowB, int ACol, int Y);

  TKvLoadSource* Source;
  TKvMatchFlags MatchFlags = 0;
  int32_t Rank = 0;
  std::string FileName;
  std::string Description;
  std::string Comment;
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Bits = 0;
  std::unique_ptr<TKvPalette256> Palette;
  std::unique_ptr<TKvPalette256> Palette2;
  int32_t ColorCount = 16;   // colours per row of the import dialog's strip
  uint32_t Flags = 1u << 10;
  uint8_t PixelAspect = 10;  // "1:1"
  std::vector<TKvPaletteType> PaletteTypes;
  TKvPaletteType PaletteType = ptRGB888;
  std::vector<std::string> Variants;
  std::string VariantName;
  uint8_t MixModes = 0;      // bit 0 "Standard", bit 1 "Linear"
  uint8_t MixMode = 1;
};

// The class of an importer: the probe and the virtual constructor.
class TKvSourceEngineClass {
public:
  virtual ~TKvSourceEngineClass() = default;
  virtual std::string GetClassName() const = 0;
  // Never throws by contract; the probe guards it all the same.
  virtual TKvMatchFlags Match(TKvLoadSource& ASource) const = 0;
  virtual std::unique_ptr<TKvSourceEngine> Create(TKvLoadSource& ASource) const = 0;
};

// The descriptor of importer class T, built from T's static members:
//   static TKvMatchFlags Match(TKvLoadSource&);   (optional: empty set)
// and a constructor taking the load source. Description starts as the class
// name unless the constructor set one.
template <class T>
class TKvSourceEngineClassOf final : public TKvSourceEngineClass {
public:
  std::string GetClassName() const override { return KvDemangledName(typeid(T)); }
  TKvMatchFlags Match(TKvLoadSource& ASource) const override {
    if constexpr (requires { T::Match(ASource); })
      return T::Match(ASource);
    else
      return 0;
  }
  std::unique_ptr<TKvSourceEngine> Create(TKvLoadSource& ASource) const override {
    auto LEngine = std::make_unique<T>(ASource);
    if (LEngine->Description.empty()) LEngine->Description = GetClassName();
    return LEngine;
  }
};

template <class T>
const TKvSourceEngineClass& SourceEngineClass() {
  static const TKvSourceEngineClassOf<T> LClass;
  return LClass;
}

// Base of concrete importers: answers ClassType() with T's descriptor.
template <class T, class TBase = TKvSourceEngine>
class TKvSourceEngineOf : public TBase {
public:
  using TBase::TBase;
  const TKvSourceEngineClass& ClassType() const override { return SourceEngineClass<T>(); }
};

// The candidates of a probe; owns the engines.
class TKvSourceEngineList {
public:
  ~TKvSourceEngineList();
  int Add(std::unique_ptr<TKvSourceEngine> AEngine);
  int GetCount() const { return static_cast<int>(FItems.size()); }
  TKvSourceEngine* GetEngine(int AIndex) const { return FItems.at(static_cast<size_t>(AIndex)).get(); }
  // Highest rank first; equal ranks keep their order.
  void Sort();

private:
  std::vector<std::unique_ptr<TKvSourceEngine>> FItems;
};

// The registry of importer classes, in registration order.
const std::vector<const TKvSourceEngineClass*>& SourceEngineClasses();
void RegisterSourceEngine(const TKvSourceEngineClass& AClass);

void InitKvSourceEngines();
void DoneKvSourceEngines();

// A cursor over a byte view. Every routine returns true on success; on
// failure nothing moves.
class TKvDataReader {
public:
  TKvDataReader() = default;
  TKvDataReader(const void* AData, int64_t ASize) { Init(AData, ASize); }
  explicit TKvDataReader(const TKvBytes& ABytes) : FBytes(ABytes) {}
  void Init(const void* AData, int64_t ASize);
  bool ReadByte(uint8_t& AByte);
  bool ReadWord(uint16_t& AWord);
  bool ReadLongWord(uint32_t& AValue);
  bool Read(void* ABuffer, int64_t ACount);
  // ABlock := the next ACount bytes without copying; empty on shortage.
  bool ReadBlock(TKvBytes& ABlock, int64_t ACount);
  // ABlock := the current position without copying; nullptr on shortage.
  bool ReadPointer(const uint8_t*& ABlock, int64_t ACount);
  bool Skip(int64_t ACount);
  const uint8_t* GetPosition() const { return FBytes.Data() ? FBytes.Data() + FOffset : nullptr; }
  int64_t GetOffset() const { return FOffset; }
  int64_t GetRemaining() const { return FBytes.Size() - FOffset; }
  // What is left from the current position.
  TKvBytes GetRest() const { return FBytes.Sub(FOffset); }

private:
  TKvBytes FBytes;
  int64_t FOffset = 0;
};
