// Small valid files of what no converter writes, built from the formats'
// layouts: each is as short as its format allows, with varied bytes so that
// the decoders see every bit, and with the optional parts (runs, blocks,
// records) that lead the fuzzer into the parsers' branches.
#include <zlib.h>

#include <cstring>
#include <string>

#include "fuzz/KvImporterFuzzInput.h"
#include "fuzz/KvImporterSeeds.h"
#include "platforms/KvPlatformZxSpectrum.h"

namespace {

using TBytes = std::vector<uint8_t>;

void Put16(TBytes& AData, uint32_t AValue) {
  AData.push_back(static_cast<uint8_t>(AValue));
  AData.push_back(static_cast<uint8_t>(AValue >> 8));
}
void Put16BE(TBytes& AData, uint32_t AValue) {
  AData.push_back(static_cast<uint8_t>(AValue >> 8));
  AData.push_back(static_cast<uint8_t>(AValue));
}
void Put32(TBytes& AData, uint32_t AValue) {
  Put16(AData, AValue & 0xFFFF);
  Put16(AData, AValue >> 16);
}
void Append(TBytes& AData, const TBytes& AMore) { AData.insert(AData.end(), AMore.begin(), AMore.end()); }
void Append(TBytes& AData, const char* AText) { AData.insert(AData.end(), AText, AText + std::strlen(AText)); }
void Set16(TBytes& AData, size_t AOffset, uint32_t AValue) {
  AData[AOffset] = static_cast<uint8_t>(AValue);
  AData[AOffset + 1] = static_cast<uint8_t>(AValue >> 8);
}

// ASize bytes that vary in every bit and differ from block to block.
TBytes Pattern(size_t ASize, unsigned ASalt = 0) {
  TBytes r(ASize);
  for (size_t i = 0; i < ASize; ++i) r[i] = static_cast<uint8_t>(i * 7 + (i >> 8) * 13 + (i >> 5) + ASalt * 29);
  return r;
}

// The same with every byte below 0x80, for formats whose colour numbers are 7 bits.
TBytes Pattern7(size_t ASize, unsigned ASalt = 0) {
  TBytes r = Pattern(ASize, ASalt);
  for (uint8_t& b : r) b &= 0x7F;
  return r;
}

TBytes Deflated(const TBytes& AData) {
  uLongf size = compressBound(static_cast<uLong>(AData.size()));
  TBytes r(size);
  if (compress2(r.data(), &size, AData.data(), static_cast<uLong>(AData.size()), 9) != Z_OK) return {};
  r.resize(size);
  return r;
}

class TSeeds {
public:
  std::vector<TKvImporterSeed> Items;

  void Add(const std::string& AName, const std::string& AExt, const TBytes& AFile, const TBytes& ACompanion = {}) {
    Items.push_back({AName + AExt, MakeImporterFuzzInput(AExt, 0, AFile, ACompanion)});
  }
};

// ---------------------------------------------------------------------------
// Agat: files of a 44-byte header (the data length at 42) and the screen,
// without the trailer of full files.

void AgatSeeds(TSeeds& ASeeds) {
  for (int length : {2048, 8192, 16384}) {
    TBytes f(44, 0);
    Set16(f, 42, static_cast<uint32_t>(length));
    Append(f, Pattern(static_cast<size_t>(length), static_cast<unsigned>(length >> 11)));
    ASeeds.Add("agat_short_" + std::to_string(length), ".fil", f);
  }
}

// ---------------------------------------------------------------------------
// Amstrad CPC

// A 128-byte AMSDOS header for ALength bytes of type AType, with its sum.
TBytes AmsdosHeader(uint8_t AType, uint16_t ALength) {
  TBytes h(128, 0);
  std::memcpy(h.data() + 1, "PICTURE PPH", 11);
  h[18] = AType;
  Set16(h, 19, ALength);
  Set16(h, 24, ALength);
  Set16(h, 64, ALength);
  uint32_t sum = 0;
  for (int i = 0; i <= 66; ++i) sum += h[static_cast<size_t>(i)];
  Set16(h, 67, sum);
  return h;
}

void AmstradCPCSeeds(TSeeds& ASeeds) {
  // Mode 5: the line colours in the ".cm5", the pixels in the ".gfx" beside it.
  TBytes cm5(2049);
  for (size_t i = 0; i < cm5.size(); ++i) cm5[i] = static_cast<uint8_t>(0x40 + (i * 5 + i / 8) % 32);
  ASeeds.Add("cpc_mode5", ".cm5", cm5, Pattern(18432, 1));

  // Two-frame pictures: a ".pph" of the sizes and pens, frames ".eve" and
  // ".odd" of width / 4 bytes a row (one companion stands for both).
  for (uint8_t type : {3, 4, 5}) {
    const uint16_t w = 64, h = 24;
    TBytes body = {type};
    Put16(body, w);
    Put16(body, h);
    body.push_back(1);
    for (int i = 0; i < 16; ++i) body.push_back(static_cast<uint8_t>((i * 7) % 27));
    body.resize(type == 5 ? 10 : 22, 0);
    TBytes pph = AmsdosHeader(2, static_cast<uint16_t>(body.size()));
    Append(pph, body);
    TBytes frame = AmsdosHeader(2, w * h / 4);
    Append(frame, Pattern(w * h / 4, type));
    ASeeds.Add("cpc_frames_type" + std::to_string(type), ".pph", pph, frame);
  }
}

// ---------------------------------------------------------------------------
// Commodore 64 program files: the load address, then the data.

TBytes C64File(uint16_t ALoad, size_t ASize, unsigned ASalt) {
  TBytes f;
  Put16(f, ALoad);
  Append(f, Pattern(ASize - 2, ASalt));
  return f;
}

// Packed data that unpacks to ALength bytes: literals (never the escape)
// and runs, then the terminator. Amica runs are escape, count, value; the
// others escape, value, count.
TBytes C64Packed(uint16_t ALoad, int ALength, uint8_t AEscape, bool ACountFirst) {
  TBytes f;
  Put16(f, ALoad);
  int n = 0;
  for (int k = 0; n < ALength; ++k) {
    for (int i = 0; i < 40 && n < ALength; ++i, ++n) {
      uint8_t b = static_cast<uint8_t>(n * 7 + k);
      if (b == AEscape) b ^= 1;
      f.push_back(b);
    }
    const int run = ALength - n < 200 ? ALength - n : 200;
    if (run <= 0) break;
    const uint8_t value = static_cast<uint8_t>(k * 37);
    f.insert(f.end(), {AEscape, ACountFirst ? static_cast<uint8_t>(run) : value,
                       ACountFirst ? value : static_cast<uint8_t>(run)});
    n += run;
  }
  f.insert(f.end(), {AEscape, 0, 0});
  return f;
}

void Commodore64Seeds(TSeeds& ASeeds) {
  struct {
    const char* Name;
    const char* Ext;
    uint16_t Load;
    size_t Size;
  } const plain[] = {
      {"c64_hires_bw", ".hbm", 0x2000, 8002},     {"c64_mono", ".mon", 0x2000, 8194},
      {"c64_koala", ".kla", 0x6000, 10003},       {"c64_advanced", ".ocp", 0x2000, 10018},
      {"c64_micro", ".mil", 0x18DC, 10022},       {"c64_image_system", ".ism", 0x3C00, 10218},
      {"c64_cheese", ".che", 0x8000, 20482},      {"c64_paint_magic", ".pmg", 0x3F8E, 9332},
      {"c64_art_studio", ".art", 0x2000, 9003},   {"c64_doodle", ".dd", 0x1C00, 9218},
      {"c64_interlace", ".hlf", 0x2000, 24578},   {"c64_lp3", ".lp3", 0x1800, 4098},
      {"c64_lp3_colours", ".lp3", 0x1800, 4174},
  };
  unsigned salt = 0;
  for (const auto& p : plain) ASeeds.Add(p.Name, p.Ext, C64File(p.Load, p.Size, ++salt));
  ASeeds.Add("c64_amica", ".ami", C64Packed(0x4000, 10001, 0xC2, true));
  ASeeds.Add("c64_koala_packed", ".gg", C64Packed(0x6000, 10001, 0xFE, false));
  ASeeds.Add("c64_doodle_packed", ".jj", C64Packed(0x5C00, 9216, 0xFE, false));
}

// ---------------------------------------------------------------------------
// MSX

// A run-length SCREEN 5 to 8 file: the 0xFD header, then literal bytes
// (0x10 and up), short runs (count 1..15, value) and long ones (0, count, value).
TBytes MSXRunFile() {
  TBytes stream;
  for (int k = 0; k < 120; ++k) {
    for (int i = 0; i < 20; ++i) stream.push_back(static_cast<uint8_t>(0x10 + (k * 11 + i * 3) % 0xF0));
    stream.insert(stream.end(), {static_cast<uint8_t>(1 + k % 15), static_cast<uint8_t>(k * 5)});
    stream.insert(stream.end(), {0, static_cast<uint8_t>(k), static_cast<uint8_t>(k * 3)});
  }
  TBytes f = {0xFD, 0, 0};
  Put16(f, static_cast<uint32_t>(stream.size() - 1));
  Put16(f, 0);
  Append(f, stream);
  return f;
}

// A packed SCREEN 5 picture: width / 2 in bytes, rows, plain rows, then groups
// of 64 bytes: a control byte, a mask for each of its set bits (a chunk of
// eight bytes), then the bytes whose mask bits are set; the others are zero.
TBytes MSXCmpFile() {
  const int w = 32, h = 8;
  TBytes f = {w, h, 2};
  const TBytes data = Pattern(w * h, 3);
  for (size_t g = 0; g < data.size(); g += 64) {
    uint8_t control = 0;
    uint8_t masks[8] = {};
    for (int c = 0; c < 8; ++c)
      for (int i = 0; i < 8; ++i)
        if (data[g + static_cast<size_t>(c * 8 + i)] % 3 != 0) masks[c] |= static_cast<uint8_t>(0x80 >> i);
    for (int c = 0; c < 8; ++c)
      if (masks[c]) control |= static_cast<uint8_t>(0x80 >> c);
    f.push_back(control);
    for (int c = 0; c < 8; ++c)
      if (masks[c]) f.push_back(masks[c]);
    for (int i = 0; i < 64; ++i)
      if (data[g + static_cast<size_t>(i)] % 3 != 0) f.push_back(data[g + static_cast<size_t>(i)]);
  }
  return f;
}

// A publisher page: its 384-byte header, then runs (0x80 + count - 1, value)
// and literal groups (count - 1, bytes).
TBytes MSXPublisherFile() {
  TBytes f(384, ' ');
  std::memcpy(f.data(), "DYNAMIC PUBLISHER SCREEN", 24);
  for (int k = 0; k < 200; ++k) {
    f.insert(f.end(), {static_cast<uint8_t>(0x80 + k % 100), static_cast<uint8_t>(k * 7)});
    f.push_back(9);
    Append(f, Pattern(10, static_cast<unsigned>(k)));
  }
  return f;
}

void MSXSeeds(TSeeds& ASeeds) {
  ASeeds.Add("msx_run", ".sr5", MSXRunFile());
  ASeeds.Add("msx_run", ".sr8", MSXRunFile());
  ASeeds.Add("msx_packed", ".cmp", MSXCmpFile());
  ASeeds.Add("msx_publisher", ".pct", MSXPublisherFile());
}

// ---------------------------------------------------------------------------
// SAM Coupé: a screen, then the 41-byte palette block (two sets of 16
// colour numbers, the last byte 255); line-palette files put records of
// line, entry, colour and a spare byte in place of that last byte.

TBytes SAMBlockFile(size_t AScreen, int ARecords) {
  TBytes f = Pattern(AScreen, static_cast<unsigned>(AScreen));
  Append(f, Pattern7(40, 5));
  for (int r = 0; r < ARecords; ++r)
    f.insert(f.end(), {static_cast<uint8_t>(r * 9 % 190), static_cast<uint8_t>(r % 16), static_cast<uint8_t>(r * 13 % 128),
                       0});
  f.push_back(255);
  return f;
}

void SAMCoupeSeeds(TSeeds& ASeeds) {
  ASeeds.Add("sam_mode1", ".ss1", SAMBlockFile(6912, 0));
  ASeeds.Add("sam_mode1_lines", ".ss1", SAMBlockFile(6912, 12));
  ASeeds.Add("sam_mode2", ".ss2", SAMBlockFile(14336, 0));
  ASeeds.Add("sam_mode2_lines", ".ss2", SAMBlockFile(14336, 12));
  // Screens followed by 16 colour numbers, and the whole memory.
  for (size_t screen : {6912, 12288}) {
    TBytes f = Pattern(screen, 2);
    Append(f, Pattern7(16, 3));
    ASeeds.Add("sam_ssx_" + std::to_string(screen), ".ssx", f);
  }
  ASeeds.Add("sam_memory", ".ssx", Pattern(98304, 4));
}

// ---------------------------------------------------------------------------
// Sega Master System: the video chip's registers, colour RAM and video RAM.

// 16 registers, 64 bytes of colour RAM and 16 KB of video RAM: mode 4, names
// at 0x3800, sprites at 0x3F00 with eight on screen before the end mark.
TBytes SmsState(uint8_t AReg0) {
  TBytes s = {AReg0, 0xE2, 0xFF, 0xFF, 0xFF, 0xFF, 0xFB, 0x03, 0x05, 0x07, 0xFF, 0, 0, 0, 0, 0};
  Append(s, Pattern7(64, 6));
  TBytes vram = Pattern(16384, 7);
  for (int i = 0; i < 64; ++i) vram[0x3F00 + static_cast<size_t>(i)] = i < 8 ? static_cast<uint8_t>(20 * i) : 0xD0;
  Append(s, vram);
  return s;
}

void SegaMasterSystemSeeds(TSeeds& ASeeds) {
  TBytes sbm;
  Append(sbm, "MSBMP");
  sbm.insert(sbm.end(), {1, 9, 16, 0});
  Append(sbm, "seed text");
  sbm.resize(16, 0);
  Append(sbm, SmsState(0x06));
  ASeeds.Add("sms_bitmap", ".sbm", sbm);
  ASeeds.Add("sms_bitmap_left", ".sbm", [&] {
    TBytes b = sbm;
    b[16] = 0x2E;  // hidden left column, shifted sprites
    return b;
  }());

  // An emulator snapshot: machine block (registers at 52), work RAM, video
  // RAM, colour RAM.
  TBytes meka;
  Append(meka, "MEKA\x1A");
  meka.insert(meka.end(), {5, 0});
  TBytes machine = Pattern(96, 8);
  const TBytes state = SmsState(0x04);
  std::memcpy(machine.data() + 52, state.data(), 16);
  Append(meka, machine);
  Append(meka, Pattern(8192, 9));
  meka.insert(meka.end(), state.begin() + 80, state.end());
  meka.insert(meka.end(), state.begin() + 16, state.begin() + 80);
  ASeeds.Add("sms_snapshot", ".bin", meka);
}

// ---------------------------------------------------------------------------
// Smaller formats of other machines.

void OtherSeeds(TSeeds& ASeeds) {
  ASeeds.Add("apple2_hires", ".hgr", Pattern(8192, 10));

  // eLeMeNt ZX layered HRXC: two layers of pixels, attributes and palette.
  ASeeds.Add("elementzx_layers", ".hrxc1", Pattern(15456, 11), Pattern(15456, 12));

  // Sinclair QL: a 10-byte header (mark, width, height, row length, mode)
  // before the rows.
  for (uint8_t mode : {16, 32, 33}) {
    const int w = 48, h = 20, row = mode == 16 ? w : 2 * w;
    TBytes f = {0x4A, 0xFC};
    Put16BE(f, w);
    Put16BE(f, h);
    Put16BE(f, static_cast<uint32_t>(row));
    f.insert(f.end(), {mode, 0});
    Append(f, Pattern(static_cast<size_t>(row * h), mode));
    ASeeds.Add("ql_pic_mode" + std::to_string(mode), ".pic", f);
  }

  // SymbOS: rows of tiles of equal height. Colour tiles: 0x40, 5, bytes a
  // row, width, height (16-bit); gray ones: bytes a row, width, height
  // (8-bit). 255 and two spare bytes close a row, 0 the picture.
  for (bool color : {true, false}) {
    TBytes f;
    for (int row = 0; row < 2; ++row) {
      for (int tile = 0; tile < 3; ++tile) {
        const int w = 12 + 4 * tile, h = 6, bytes = color ? (w + 1) / 2 : (w + 3) / 4;
        if (color) {
          f.insert(f.end(), {0x40, 5});
          Put16(f, static_cast<uint32_t>(bytes));
          Put16(f, static_cast<uint32_t>(w));
          Put16(f, static_cast<uint32_t>(h));
        } else {
          f.insert(f.end(), {static_cast<uint8_t>(bytes), static_cast<uint8_t>(w), static_cast<uint8_t>(h)});
        }
        Append(f, Pattern(static_cast<size_t>(bytes * h), static_cast<unsigned>(row * 3 + tile)));
      }
      f.insert(f.end(), {255, 0, 0});
    }
    f.push_back(0);
    ASeeds.Add(color ? "symbos_color" : "symbos_gray", ".sgx", f);
  }

  // PlayStation TIM: id 0x10, flags (pixel mode, bit 3: a colour table),
  // then the table block and the image block, each with its own length,
  // position and size.
  for (uint8_t mode : {8, 9, 2, 3}) {
    TBytes f;
    Put32(f, 0x10);
    Put32(f, mode);
    if (mode & 8) {
      const int entries = mode == 8 ? 16 : 256, tables = 2;
      Put32(f, static_cast<uint32_t>(12 + entries * tables * 2));
      Put16(f, 0);
      Put16(f, 480);
      Put16(f, static_cast<uint32_t>(entries));
      Put16(f, tables);
      Append(f, Pattern(static_cast<size_t>(entries * tables * 2), 13));
    }
    const int words = 12, h = 10;  // 16-bit words a row
    Put32(f, static_cast<uint32_t>(12 + words * 2 * h));
    Put16(f, 320);
    Put16(f, 0);
    Put16(f, words);
    Put16(f, h);
    Append(f, Pattern(static_cast<size_t>(words * 2 * h), mode));
    ASeeds.Add("tim_mode" + std::to_string(mode), ".tim", f);
  }

  // Geneve FRACTALS!: 255-byte records in 256-byte sectors after a 128-byte
  // header; the first record holds the mark, the palette and a text, the
  // others the rows as runs (colour shl 12 or count) and literal groups.
  {
    TBytes joined(255, 0);
    joined[1] = 'C';
    for (int i = 0; i < 32; ++i) joined[2 + static_cast<size_t>(i)] = static_cast<uint8_t>(i * 9);
    std::memcpy(joined.data() + 72, "  SEED FRACTAL  ", 16);
    for (int y = 0; y < 212; ++y) {
      Put16BE(joined, 0x0800 | static_cast<uint32_t>((y & 15) << 12) | 5);  // 6 pixels
      Append(joined, Pattern(3, static_cast<unsigned>(y)));
      Put16BE(joined, static_cast<uint32_t>(((y + 3) & 15) << 12) | 250);
      Put16BE(joined, static_cast<uint32_t>(((y + 7) & 15) << 12) | 256);
    }
    const size_t records = (joined.size() + 254) / 255;
    joined.resize(records * 255, 0);
    TBytes f(128 + records * 256, 0);
    f[0] = 7;
    std::memcpy(f.data() + 1, "TIFILES", 7);
    f[8] = static_cast<uint8_t>(records >> 8);
    f[9] = static_cast<uint8_t>(records);
    f[11] = 1;
    f[13] = 255;
    for (size_t i = 0; i < records; ++i)
      std::memcpy(f.data() + 128 + i * 256, joined.data() + i * 255, 255);
    ASeeds.Add("geneve_fractal", ".bin", f);
  }

  // Vector-06C packed screen: a 64-byte header (the packed length - 1 at 2,
  // the fill byte at 4, the signature, three escape bytes at 16, 32 and 48
  // each with a list of plain positions), then data read backwards: escape 1
  // puts two fill bytes, "value, escape 2" three values, "value, count,
  // escape 3" count values, any other byte itself.
  {
    TBytes data;
    for (int k = 0; k < 300; ++k) {
      data.insert(data.end(), {static_cast<uint8_t>(k * 3), static_cast<uint8_t>(20 + k % 80), 0xF3});
      data.insert(data.end(), {static_cast<uint8_t>(k * 5), 0xF2, 0xF1, static_cast<uint8_t>(k & 0x7F)});
    }
    TBytes f(64, 0);
    Set16(f, 2, static_cast<uint32_t>(data.size() - 1));
    f[4] = 0x5A;
    std::memcpy(f.data() + 5, "T.288-31-25", 11);
    f[16] = 0xF1;
    f[17] = 1;
    Set16(f, 18, 0x1234);
    f[32] = 0xF2;
    f[48] = 0xF3;
    Append(f, data);
    ASeeds.Add("vector_packed", ".scr", f);
  }
}

// ---------------------------------------------------------------------------
// ZX Spectrum screens, tapes and snapshots.

// A screen of 6912 bytes: bitmap and attributes.
TBytes ZxScreen() { return Pattern(6912, 14); }

TBytes Z80Rle(const TBytes& AData) {
  TBytes r;
  for (size_t i = 0; i < AData.size();) {
    size_t n = 1;
    while (i + n < AData.size() && AData[i + n] == AData[i] && n < 255) ++n;
    if (n >= 5 || AData[i] == 0xED) {
      r.insert(r.end(), {0xED, 0xED, static_cast<uint8_t>(n), AData[i]});
    } else {
      r.insert(r.end(), AData.begin() + static_cast<std::ptrdiff_t>(i), AData.begin() + static_cast<std::ptrdiff_t>(i + n));
    }
    i += n;
  }
  return r;
}

// 48K of memory from 0x4000: the screen, then runs and varied bytes.
TBytes ZxMemory() {
  TBytes m = ZxScreen();
  m.resize(49152, 0);
  for (size_t i = 20000; i < 30000; ++i) m[i] = static_cast<uint8_t>(i >> 6);
  return m;
}

TBytes Z80Version1() {
  TBytes f(30, 0);
  Set16(f, 6, 0x8000);  // a PC: version 1
  f[12] = 0x20 | 0x02;  // compressed, border 1
  Append(f, Z80Rle(ZxMemory()));
  f.insert(f.end(), {0x00, 0xED, 0xED, 0x00});
  return f;
}

// Version 3: PC 0, an extra header, then pages of 16 KB (stored when the
// length is 0xFFFF). Page 8 holds 0x4000 on a 48K machine.
TBytes Z80Version3() {
  TBytes f(30, 0);
  Put16(f, 54);
  TBytes extra(54, 0);
  Set16(extra, 0, 0x8000);
  Append(f, extra);
  const TBytes memory = ZxMemory();
  for (uint8_t page : {4, 5, 8}) {
    const size_t from = page == 8 ? 0 : page == 4 ? 16384 : 32768;
    const TBytes bytes(memory.begin() + static_cast<std::ptrdiff_t>(from),
                       memory.begin() + static_cast<std::ptrdiff_t>(from + 16384));
    const TBytes packed = page == 5 ? bytes : Z80Rle(bytes);
    Put16(f, page == 5 ? 0xFFFF : static_cast<uint32_t>(packed.size()));
    f.push_back(page);
    Append(f, packed);
  }
  return f;
}

// A tape block: length, flag, payload, XOR sum.
TBytes TapBlock(uint8_t AFlag, const TBytes& APayload) {
  TBytes b;
  Put16(b, static_cast<uint32_t>(APayload.size() + 2));
  b.push_back(AFlag);
  Append(b, APayload);
  uint8_t sum = AFlag;
  for (uint8_t c : APayload) sum ^= c;
  b.push_back(sum);
  return b;
}

TBytes TapHeader() {
  TBytes h = {3};
  Append(h, "screen    ");
  Put16(h, 6912);
  Put16(h, 0x4000);
  Put16(h, 0x8000);
  return h;
}

void ZxSpectrumScreenSeeds(TSeeds& ASeeds) {
  ASeeds.Add("zx_bitmap", ".scr", Pattern(6144, 24));
  ASeeds.Add("zx_multicolor_attributes", ".mtl", Pattern(6144, 25));
  ASeeds.Add("zx_attributes", ".atr", Pattern(768, 15));
  ASeeds.Add("zx_attributes_8x2", ".afl", Pattern(3072, 16));
  ASeeds.Add("zx_attributes_4x4", ".stl", Pattern(3072, 17));
  ASeeds.Add("zx_border", ".bsc", Pattern(11136, 18));
  ASeeds.Add("zx_border_8x4", ".bmc4", Pattern(11904, 19));

  TBytes hlr(HlrViewerSignature, HlrViewerSignature + sizeof(HlrViewerSignature));
  Append(hlr, Pattern(1628 - hlr.size(), 20));
  ASeeds.Add("zx_hlr", ".hlr", hlr);

  // Two screens with a border, after a header with a title and an author.
  TBytes bsp = {'b', 's', 'p', 0xC0, 0, 0};
  TBytes text(64, ' ');
  std::memcpy(text.data(), "Seed", 4);
  std::memcpy(text.data() + 32, "Kovrel", 6);
  Append(bsp, text);
  bsp.resize(72, 0);
  Append(bsp, Pattern(2 * 6912, 21));
  ASeeds.Add("zx_bsp", ".bsp", bsp);

  // Character sets: "chr$", columns, rows, bytes a character (8: bitmap,
  // 9: with an attribute, 18: two frames).
  for (uint8_t n : {8, 9, 18}) {
    TBytes f;
    Append(f, "chr$");
    f.insert(f.end(), {5, 3, n});
    Append(f, Pattern(static_cast<size_t>(5 * 3 * n), n));
    ASeeds.Add("zx_chr_" + std::to_string(n), ".ch$", f);
  }

  // Spectra screens without their trailer: one size per cell height and
  // attribute width.
  for (int size : {6912, 7936, 9728, 11776, 11264, 15360, 14336, 16384})
    ASeeds.Add("zx_spectra_" + std::to_string(size), ".bin", Pattern(static_cast<size_t>(size), 22));
}

void ZxSpectrumContainerSeeds(TSeeds& ASeeds) {
  const TBytes screen = ZxScreen();

  TBytes tap = TapBlock(0, TapHeader());
  Append(tap, TapBlock(255, screen));
  ASeeds.Add("zx_tape", ".tap", tap);

  // TZX: a text, a pause, the standard header block, a turbo data block.
  TBytes tzx;
  Append(tzx, "ZXTape!\x1A");
  tzx.insert(tzx.end(), {1, 20});
  tzx.insert(tzx.end(), {0x30, 4, 'S', 'e', 'e', 'd'});
  tzx.insert(tzx.end(), {0x20, 0xE8, 0x03});
  const TBytes header = TapBlock(0, TapHeader());
  tzx.insert(tzx.end(), {0x10, 0xE8, 0x03});
  Append(tzx, header);
  const TBytes data = TapBlock(255, screen);
  tzx.push_back(0x11);
  Append(tzx, {0x78, 0x08, 0x9B, 0x02, 0xDF, 0x04, 0x57, 0x03, 0x42, 0x06, 0x98, 0x1F, 0x08, 0xE8, 0x03});
  tzx.insert(tzx.end(), {static_cast<uint8_t>(data.size() - 2), static_cast<uint8_t>((data.size() - 2) >> 8), 0});
  tzx.insert(tzx.end(), data.begin() + 2, data.end());
  ASeeds.Add("zx_tape", ".tzx", tzx);

  // SZX: the file header, a SPCR block (ports), RAM pages stored or deflated.
  for (bool deflate : {false, true}) {
    TBytes szx;
    Append(szx, "ZXST");
    szx.insert(szx.end(), {1, 4, 1, 0});
    Append(szx, "SPCR");
    Put32(szx, 8);
    szx.insert(szx.end(), {2, 0, 0, 0, 0, 0, 0, 0});
    TBytes page5 = screen;
    page5.resize(16384, 0x3C);
    const TBytes body = deflate ? Deflated(page5) : page5;
    Append(szx, "RAMP");
    Put32(szx, static_cast<uint32_t>(body.size() + 3));
    Put16(szx, deflate ? 1 : 0);
    szx.push_back(5);
    Append(szx, body);
    ASeeds.Add(deflate ? "zx_szx_deflated" : "zx_szx", ".szx", szx);
  }

  // RZX: the file header, a creator block, then a snapshot block holding a
  // Z80 file, stored or deflated.
  for (bool deflate : {false, true}) {
    const TBytes z80 = Z80Version1();
    const TBytes body = deflate ? Deflated(z80) : z80;
    TBytes rzx;
    Append(rzx, "RZX!");
    rzx.insert(rzx.end(), {0, 13, 0, 0, 0, 0});
    rzx.push_back(0x10);
    Put32(rzx, 5 + 24);
    TBytes creator(24, 0);
    std::memcpy(creator.data(), "Kovrel seeds", 12);
    Append(rzx, creator);
    rzx.push_back(0x30);
    Put32(rzx, static_cast<uint32_t>(5 + 12 + body.size()));
    Put32(rzx, deflate ? 2 : 0);
    Append(rzx, {'z', '8', '0', 0});
    Put32(rzx, static_cast<uint32_t>(z80.size()));
    Append(rzx, body);
    ASeeds.Add(deflate ? "zx_rzx_deflated" : "zx_rzx", ".rzx", rzx);
  }

  TBytes sp = {'S', 'P'};
  Put16(sp, 0x4000);
  Put16(sp, 0x4000);
  sp.resize(38, 0);
  Append(sp, screen);
  sp.resize(38 + 0x4000, 0);
  ASeeds.Add("zx_sp", ".sp", sp);

  TBytes sna = Pattern(27, 23);
  Append(sna, ZxMemory());
  ASeeds.Add("zx_sna", ".sna", sna);

  ASeeds.Add("zx_z80_v1", ".z80", Z80Version1());
  ASeeds.Add("zx_z80_v3", ".z80", Z80Version3());
}

}  // namespace

std::vector<TKvImporterSeed> HandMadeImporterSeeds() {
  TSeeds seeds;
  AgatSeeds(seeds);
  AmstradCPCSeeds(seeds);
  Commodore64Seeds(seeds);
  MSXSeeds(seeds);
  SAMCoupeSeeds(seeds);
  SegaMasterSystemSeeds(seeds);
  OtherSeeds(seeds);
  ZxSpectrumScreenSeeds(seeds);
  ZxSpectrumContainerSeeds(seeds);
  return seeds.Items;
}
