// Amstrad CPC routines shared by the converter and the importers: the 27
// hardware colours, the 128-byte AMSDOS file header, the bodies of the ".pal"
// palette file and the ".pph" picture descriptor, and the pixel layouts of
// the screens.
//
// A colour has a firmware number 0..26 (the order of every palette built
// here) and a hardware byte 0x40..0x5F (the value written to the gate array).
#pragma once

#include <cstdint>
#include <string>

#include "core/KvBytes.h"
#include "core/KvPalette.h"
#include "core/KvPaletteRGB.h"

constexpr int CPCColorCount = 27;
constexpr int AmsdosHeaderSize = 128;

constexpr int CPCScrBodySize = 16384;
constexpr int CPCPalBodySize = 239;
constexpr int CPCKitBodySize = 32;
constexpr int CPCOverscanBodySize = 32272;
constexpr int CPCHgbBodySize = 256 * 64;     // 256 rows of 64 bytes
constexpr int CPCFrameBodySize = 272 * 96;  // 272 rows of 96 bytes

// Display block of the standard screen.
constexpr int CPCScrRoutineOffset = 2000;
constexpr int CPCScrModeOffset = 6096;
constexpr int CPCScrPensOffset = CPCScrModeOffset + 1;
constexpr int CPCScrBorderOffset = CPCScrPensOffset + 16;

// Overscan body.
constexpr int CPCOverscanLoaderSize = 144;
constexpr int CPCOverscanModeOffset = 20;
constexpr int CPCOverscanFlagOffset = 60;
constexpr int CPCOverscanPlusOffset = 1681;
constexpr int CPCOverscanColorsOffset = 32144;

// The hardware byte of each firmware colour.
extern const uint8_t CPCFirmwareToHardware[CPCColorCount];
// The firmware number of each hardware byte 0x40..0x5F (byte 0x40 first).
extern const uint8_t CPCHardwareToFirmware[32];
// The firmware number of a hardware byte; bytes outside 0x40..0x5F give 0.
int CPCFirmwareOfHardware(uint8_t AByte);

// The 27 colours in firmware order for the kinds ptCPCGateArray ..
// ptCPCASICRGB; other kinds raise error 87.
void BuildCPCPalette(TKvPalette256& APalette, TKvPaletteType APaletteType);
// The nearest CPC colours of the 16 half and full level primaries, at most 16.
void BuildCPCBrightPalette(TKvPalette256& APalette, TKvPaletteType APaletteType);
// Firmware colours 0, 13 and 26.
void BuildCPCGrayPalette(TKvPalette256& APalette, TKvPaletteType APaletteType);
// Firmware colours 0 and 26.
void BuildCPCBlackWhitePalette(TKvPalette256& APalette, TKvPaletteType APaletteType);

// AMSDOS header (AHeader: 128 bytes).
void InitAmsdosHeader(uint8_t* AHeader, uint8_t AFileType, uint16_t ALoadAddress, uint16_t ALength,
                      uint16_t AExecAddress);
// Cuts AName to ALength characters, replaces those outside the AMSDOS name
// set by "-" and pads with spaces.
void PadAmsdosName(std::string& AName, int ALength);
// Stores the name and extension of AFileName (8-bit characters) upper case.
void SetAmsdosFileName(uint8_t* AHeader, const std::string& AFileName);
uint16_t AmsdosChecksum(const TKvBytes& AHeader);
void UpdateAmsdosChecksum(uint8_t* AHeader);
bool CheckAmsdosHeader(const TKvBytes& AHeader, uint8_t AFileType, uint16_t ALength);

// The 239-byte ".pal" body: pens from AColours (colours of AHardwarePalette),
// the border as the nearest hardware colour of ABorder ($00RRGGBB).
void BuildCPCPalFile(uint8_t* ABody, uint8_t AMode, const TKvPalette256& AHardwarePalette,
                     const TKvPalette256& AColours, int32_t ABorder);
// 16 for type 4, 4 for type 5; other types raise error 87.
int CPCPenCount(uint8_t AType);
void BuildCPCPphHeader(uint8_t* ABody, uint8_t AType, uint16_t AWidth, uint16_t AHeight,
                       const TKvPalette256& AHardwarePalette, const TKvPalette256& AColours);
// A CPC Plus palette word of 4-bit levels: G shl 8 or R shl 4 or B.
constexpr uint16_t CPCPlusColorWord(int AR, int AG, int AB) {
  return static_cast<uint16_t>(((AG & 15) << 8) | ((AR & 15) << 4) | (AB & 15));
}
// The colour of a Plus palette word, each level n as the byte 17 * n.
TKvStdRGBColor CPCPlusWordColor(uint16_t AWord);

// The 36-byte display routine of the standard screen and the 144-byte
// loader of the overscan file.
extern const uint8_t CPCScrDisplayRoutine[36];
extern const uint8_t CPCOverscanLoader[CPCOverscanLoaderSize];

// Byte offset of pixel row Y in the standard screen body (200 rows of 80
// bytes in eight 2 KB blocks), the overscan body (272 rows of 96 bytes) and
// the 512 x 256 body (256 rows of 64 bytes).
constexpr int64_t CPCScrRowOffset(int Y) { return (Y % 8) * 2048 + (Y / 8) * 80; }
constexpr int64_t CPCOverscanRowOffset(int Y) {
  return CPCOverscanLoaderSize + (Y % 8) * 2048 + (Y / 8) * 96 + (Y >= 128 ? 14336 : 0);
}
constexpr int64_t CPCHgbRowOffset(int Y) { return (Y % 8) * 2048 + (Y / 8) * 64; }

// Pixel bits. Mode 0: two pixels per byte, pen bits 0..3 in bits 7, 3, 5, 1
// (left) or 6, 2, 4, 0 (right). Mode 1: four pixels per byte, pixel K has
// pen bit 0 in bit 7 - K and pen bit 1 in bit 3 - K. Mode 2: bit 7 - K.
void PutCPCMode0Pixel(uint8_t& AByte, int AIndex, int APen);
int GetCPCMode0Pixel(uint8_t AByte, int AIndex);
void PutCPCMode1Pixel(uint8_t& AByte, int AIndex, int APen);
int GetCPCMode1Pixel(uint8_t AByte, int AIndex);
void PutCPCMode2Pixel(uint8_t& AByte, int AIndex, int APen);
