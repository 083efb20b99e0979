// The MAG picture format ("MAKI02  "): a picture of 16-bit units, each
// either copied from one of 15 earlier positions or stored literally, with
// the choice coded as 4-bit flags that are delta-coded against the row above.
// The encoder writes the ".mag" files of the MSX converters; the checks and
// area routines are what the MAG importer reads such files with.
//
// Every routine is a plain function of its arguments; the checks never throw.
#pragma once

#include <cstdint>
#include <string>

#include "core/KvBytes.h"
#include "rtl/KvClasses.h"

class TKvPalette256;

// The copy positions of flags 1..15 (entry 0 unused): units to the left and
// rows up.
extern const uint8_t MagFlagDX[16];
extern const uint8_t MagFlagDY[16];

// The header block under construction: 32 zero bytes, positioned at their
// end, then ACount palette entries of three bytes G, R, B (entry i of
// APalette while i < its count, else black).
class TKvMagv2Header2Stream : public TMemoryStream {
public:
  TKvMagv2Header2Stream(const TKvPalette256* APalette, int ACount);
  uint8_t* GetData() { return GetMemory(); }
};

// Data and Size of one area of a file.
// The machine name field from its four characters, as the integer whose
// bytes in memory order are those characters.
constexpr int32_t MagMachineName(const char (&AName)[5]) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint8_t>(AName[0])) |
                              static_cast<uint32_t>(static_cast<uint8_t>(AName[1])) << 8 |
                              static_cast<uint32_t>(static_cast<uint8_t>(AName[2])) << 16 |
                              static_cast<uint32_t>(static_cast<uint8_t>(AName[3])) << 24);
}

// At least 47 bytes, the signature, a header found by FindMagHeader and
// accepted by CheckMagHeader.
bool CheckMagFile(const TKvBytes& AFile);
// Skips signature and machine name (12 bytes), the comment up to and
// including its first 0x1A, then every non-zero byte; returns the data from
// the header start to the end, or nothing when the data end first.
TKvBytes FindMagHeader(const TKvBytes& AFile);
// AHeader: the data from the header start to the end.
bool CheckMagHeader(const TKvBytes& AHeader);
// The bytes from offset 12 up to the first 0x1A, from code page 932 to
// UTF-8, trimmed; bytes the code page does not define become "?". Stops at
// the end of the data as well.
std::string ReadMagComment(const TKvBytes& AFile);

// The areas of a header that CheckMagHeader accepted, AHeader running from
// the header start to the end of the data.
TKvBytes GetMagPaletteArea(const TKvBytes& AHeader);
TKvBytes GetMagFlagAArea(const TKvBytes& AHeader);
TKvBytes GetMagFlagBArea(const TKvBytes& AHeader);
TKvBytes GetMagPixelArea(const TKvBytes& AHeader);

// UTF-8 text in code page 932; characters the code page cannot show become
// "?".
std::string Utf8ToCP932(const std::string& AText);
std::string CP932ToUtf8(const std::string& AText);

// Writes one complete MAG file at AStream's position. AData: AHeight rows of
// AUnitsPerRow (even) 16-bit units without gaps; AWidth only gives the x end
// field (AWidth - 1). APalette may be nil; entries from its count up to
// APaletteCount are black. The comment is trimmed, written in code page 932
// and padded with spaces to 19 bytes.
void EncodeMag(int32_t AMachineName, uint8_t AMachineCode, uint8_t AMachineFlag, uint8_t AScreenMode,
               const void* AData, int AWidth, int AUnitsPerRow, int AHeight, const TKvPalette256* APalette,
               int APaletteCount, const std::string& AComment, TStream& AStream);
