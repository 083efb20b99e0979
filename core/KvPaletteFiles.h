// Palette files and file-type detection. The readers and the JASC-PAL writer
// are members of TKvPalette256 (core/KvPalette.h); this header gives the
// content sniffing and the shared helpers.
//
// Formats read, recognised by content: JASC-PAL and GIMP palettes (text),
// RIFF PAL and Adobe colour tables of 768 or 772 bytes (binary), and the
// palette of a BMP, PNG or GIF picture. JASC-PAL is written.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

// Picture and palette file kinds, sniffed from the first bytes of a stream.
enum : uint8_t {
  kvftUnknown = 0,
  kvftBMP = 1,
  kvftJPEG = 2,
  kvftPNG = 3,
  kvftGIF = 4,
  kvftJASC = 5,
  kvftGIMP = 6,
  kvftRIFF = 7,
};

// The file kind by the bytes at the stream's position, which is restored in
// every case. Fewer than 8 bytes left raises EReadError.
uint8_t DetectFileType(std::istream& AStream);

// Reads exactly ACount bytes or raises EReadError ("Stream read error").
void ReadStreamExact(std::istream& AStream, void* ABuffer, int64_t ACount);

// Bytes left from the stream's position (0 past the end), or -1 when the
// stream cannot tell.
int64_t StreamRemaining(std::istream& AStream);

// Raises the exception "Invalid palette".
[[noreturn]] void RaiseInvalidPalette();

// The next non-empty text line: CR and LF end a line and runs of them are
// skipped. False at the end of the stream. A line longer than 1600 bytes
// raises "Invalid palette".
bool ReadPaletteLine(std::istream& AStream, std::string& ALine);
