#include "platforms/KvPlatformMAG.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "core/KvPalette.h"

const uint8_t MagFlagDX[16] = {0, 1, 2, 4, 0, 1, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0};
const uint8_t MagFlagDY[16] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 4, 4, 4, 8, 8, 8, 16};

namespace {

constexpr char kMagSignature[9] = "MAKI02  ";
constexpr int kMagPrefix = 12;  // signature and machine name
constexpr int kMagMinComment = 19;

uint16_t Word(const uint8_t* P) { return static_cast<uint16_t>(P[0] | P[1] << 8); }
uint32_t LongWord(const uint8_t* P) {
  return static_cast<uint32_t>(P[0]) | static_cast<uint32_t>(P[1]) << 8 | static_cast<uint32_t>(P[2]) << 16 |
         static_cast<uint32_t>(P[3]) << 24;
}
void PutWord(uint8_t* P, uint32_t V) {
  P[0] = static_cast<uint8_t>(V);
  P[1] = static_cast<uint8_t>(V >> 8);
}
void PutLongWord(uint8_t* P, uint32_t V) {
  PutWord(P, V);
  PutWord(P + 2, V >> 16);
}

std::string Trimmed(const std::string& AText) {
  size_t b = 0, e = AText.size();
  while (b < e && static_cast<uint8_t>(AText[b]) <= ' ') ++b;
  while (e > b && static_cast<uint8_t>(AText[e - 1]) <= ' ') --e;
  return AText.substr(b, e - b);
}

// The byte length of the UTF-8 sequence that starts with ALead (1 for a
// byte that starts none).
size_t Utf8Length(uint8_t ALead) {
  if (ALead >= 0xF0 && ALead < 0xF8) return 4;
  if (ALead >= 0xE0) return ALead < 0xF0 ? 3 : 1;
  if (ALead >= 0xC0) return 2;
  return 1;
}

// AText from AFrom to ATo through iconv; an input sequence that the
// conversion refuses becomes "?" and the conversion goes on after it, one
// character (ACharLength) further.
std::string Recode(const std::string& AText, const char* ATo, const char* AFrom, size_t (*ACharLength)(uint8_t)) {
  iconv_t cd = iconv_open(ATo, AFrom);
  if (cd == reinterpret_cast<iconv_t>(-1)) RaiseInternalError();
  std::string out;
  std::vector<char> in(AText.begin(), AText.end());
  char* ip = in.data();
  size_t il = in.size();
  char buf[256];
  while (il > 0) {
    char* op = buf;
    size_t ol = sizeof buf;
    const size_t r = iconv(cd, &ip, &il, &op, &ol);
    const int err = errno;
    out.append(buf, static_cast<size_t>(op - buf));
    if (r != static_cast<size_t>(-1)) break;
    if (err == E2BIG) continue;
    // A character the target cannot show, or a broken or cut sequence.
    out.push_back('?');
    size_t n = ACharLength(static_cast<uint8_t>(*ip));
    if (err == EINVAL || n > il) n = il;
    ip += n;
    il -= n;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

size_t OneByte(uint8_t) { return 1; }

// FlagA bits, most significant first.
class TBitWriter {
public:
  explicit TBitWriter(std::vector<uint8_t>& AOut) : FOut(AOut) {}
  void Put(bool ABit) {
    if (ABit) FByte |= static_cast<uint8_t>(0x80 >> FCount);
    if (++FCount == 8) Flush();
  }
  void Flush() {
    if (FCount == 0) return;
    FOut.push_back(FByte);
    FByte = 0;
    FCount = 0;
  }

private:
  std::vector<uint8_t>& FOut;
  uint8_t FByte = 0;
  int FCount = 0;
};

}  // namespace

std::string Utf8ToCP932(const std::string& AText) { return Recode(AText, "CP932", "UTF-8", &Utf8Length); }

std::string CP932ToUtf8(const std::string& AText) { return Recode(AText, "UTF-8", "CP932", &OneByte); }

// ---------------------------------------------------------------------------
// Reading

const uint8_t* FindMagHeader(const void* AData, int64_t& ASize) {
  const uint8_t* p = static_cast<const uint8_t*>(AData);
  ASize -= kMagPrefix;
  if (ASize <= 0) return nullptr;
  p += kMagPrefix;
  while (ASize > 0 && *p != 0x1A) {
    ++p;
    --ASize;
  }
  if (ASize <= 0) return nullptr;
  ++p;
  --ASize;
  while (ASize > 0 && *p != 0) {
    ++p;
    --ASize;
  }
  return ASize > 0 ? p : nullptr;
}

bool CheckMagHeader(const uint8_t* AHeader, int64_t ARemaining) {
  if (AHeader == nullptr || ARemaining <= 32 || AHeader[0] != 0) return false;
  if (Word(AHeader + 4) > Word(AHeader + 8) || Word(AHeader + 6) > Word(AHeader + 10)) return false;
  const int64_t a = LongWord(AHeader + 12), b = LongWord(AHeader + 16), pix = LongWord(AHeader + 24);
  for (const int64_t o : {a, b, pix})
    if (o < 32 || o > ARemaining - 1) return false;
  if (!(a < b && b <= pix)) return false;
  const uint8_t mode = AHeader[3];
  if (!(mode < 8 || mode == 0x80 || mode == 0x81 || mode == 0x84 || mode == 0x85)) return false;
  if (AHeader[1] == 3 && (AHeader[2] >> 4) >= 7) return false;
  return true;
}

bool CheckMagFile(const void* AData, int64_t ASize) {
  if (AData == nullptr || ASize < 47 || std::memcmp(AData, kMagSignature, 8) != 0) return false;
  int64_t LRemaining = ASize;
  const uint8_t* LHeader = FindMagHeader(AData, LRemaining);
  return LHeader != nullptr && CheckMagHeader(LHeader, LRemaining);
}

std::string ReadMagComment(const void* AData, int64_t ASize) {
  const uint8_t* p = static_cast<const uint8_t*>(AData);
  std::string raw;
  for (int64_t i = kMagPrefix; i < ASize && p[i] != 0x1A; ++i) raw.push_back(static_cast<char>(p[i]));
  return Trimmed(CP932ToUtf8(raw));
}

TKvMagArea GetMagPaletteArea(const uint8_t* AHeader) {
  return {AHeader + 32, static_cast<int32_t>(LongWord(AHeader + 12)) - 32};
}

TKvMagArea GetMagFlagAArea(const uint8_t* AHeader) {
  const uint32_t a = LongWord(AHeader + 12);
  return {AHeader + a, static_cast<int32_t>(LongWord(AHeader + 16) - a)};
}

TKvMagArea GetMagFlagBArea(const uint8_t* AHeader) {
  const uint32_t b = LongWord(AHeader + 16);
  return {AHeader + b, static_cast<int32_t>(LongWord(AHeader + 24) - b)};
}

TKvMagArea GetMagPixelArea(const uint8_t* AHeader, int64_t AEnd) {
  const uint32_t pix = LongWord(AHeader + 24);
  return {AHeader + pix, static_cast<int32_t>(AEnd - pix)};
}

// ---------------------------------------------------------------------------
// Writing

TKvMagv2Header2Stream::TKvMagv2Header2Stream(const TKvPalette256* APalette, int ACount) {
  SetSize(32);
  SetPosition(32);
  for (int i = 0; i < ACount; ++i) {
    uint8_t e[3] = {0, 0, 0};
    if (APalette && i < APalette->Count) {
      const TKvStdRGBColor c = APalette->GetStdRGB(i);
      e[0] = c.G;
      e[1] = c.R;
      e[2] = c.B;
    }
    WriteBuffer(e, 3);
  }
}

void EncodeMag(int32_t AMachineName, uint8_t AMachineCode, uint8_t AMachineFlag, uint8_t AScreenMode,
               const void* AData, int AWidth, int AUnitsPerRow, int AHeight, const TKvPalette256* APalette,
               int APaletteCount, const std::string& AComment, TStream& AStream) {
  if (AUnitsPerRow <= 0 || (AUnitsPerRow & 1) != 0 || AHeight < 0) RaiseInternalError();
  TKvMagv2Header2Stream H(APalette, APaletteCount);
  uint8_t* h = H.GetData();
  h[1] = AMachineCode;
  h[2] = AMachineFlag;
  h[3] = AScreenMode;
  PutWord(h + 8, static_cast<uint32_t>(AWidth - 1));
  PutWord(h + 10, static_cast<uint32_t>(AHeight - 1));

  const uint8_t* LData = static_cast<const uint8_t*>(AData);
  auto Unit = [LData](int64_t AIndex) {
    uint16_t u;
    std::memcpy(&u, LData + 2 * AIndex, 2);
    return u;
  };
  std::vector<uint8_t> LFlagA, LFlagB, LPixels;
  TBitWriter LBits(LFlagA);
  std::vector<uint8_t> LLine(static_cast<size_t>(AUnitsPerRow / 2), 0);
  int64_t LCurrent = 0;
  // The flag of the unit LCurrent at column AX of row AY: the flag of the row
  // above when it still holds, else the first position in table order that
  // holds the same unit, else 0 with the unit stored literally.
  auto FindMagMatch = [&](int AX, int AY, int APrevious) {
    const uint16_t u = Unit(LCurrent);
    auto Holds = [&](int AFlag) {
      return AX >= MagFlagDX[AFlag] && AY >= MagFlagDY[AFlag] &&
             Unit(LCurrent - (static_cast<int64_t>(MagFlagDY[AFlag]) * AUnitsPerRow + MagFlagDX[AFlag])) == u;
    };
    int LFlag = 0;
    if (APrevious != 0 && Holds(APrevious)) {
      LFlag = APrevious;
    } else {
      for (int i = 1; i < 16; ++i)
        if (Holds(i)) {
          LFlag = i;
          break;
        }
    }
    if (LFlag == 0) {
      LPixels.push_back(LData[2 * LCurrent]);
      LPixels.push_back(LData[2 * LCurrent + 1]);
    }
    ++LCurrent;
    return LFlag;
  };
  for (int y = 0; y < AHeight; ++y)
    for (int p = 0; p < AUnitsPerRow / 2; ++p) {
      uint8_t& LPrev = LLine[static_cast<size_t>(p)];
      const int f1 = FindMagMatch(2 * p, y, LPrev >> 4);
      const int f2 = FindMagMatch(2 * p + 1, y, LPrev & 15);
      const uint8_t f = static_cast<uint8_t>(f1 << 4 | f2);
      if (f == LPrev) {
        LBits.Put(false);
      } else {
        LBits.Put(true);
        LFlagB.push_back(static_cast<uint8_t>(f ^ LPrev));
        LPrev = f;
      }
    }
  LBits.Flush();
  if (LFlagB.empty()) LFlagB.push_back(0);

  auto Append = [&H](const std::vector<uint8_t>& ABytes) {
    if (!ABytes.empty()) H.WriteBuffer(ABytes.data(), static_cast<int64_t>(ABytes.size()));
  };
  const uint32_t LFlagAOffset = static_cast<uint32_t>(H.GetSize());
  Append(LFlagA);
  const uint32_t LFlagBOffset = static_cast<uint32_t>(H.GetSize());
  Append(LFlagB);
  const uint32_t LPixelOffset = static_cast<uint32_t>(H.GetSize());
  Append(LPixels);
  h = H.GetData();
  PutLongWord(h + 12, LFlagAOffset);
  PutLongWord(h + 16, LFlagBOffset);
  PutLongWord(h + 20, LPixelOffset - LFlagBOffset);
  PutLongWord(h + 24, LPixelOffset);
  PutLongWord(h + 28, static_cast<uint32_t>(H.GetSize()) - LPixelOffset);

  // The whole file is built first, so the stream gets all of it or nothing.
  std::string LFile(kMagSignature, 8);
  for (int i = 0; i < 4; ++i) LFile.push_back(static_cast<char>(static_cast<uint32_t>(AMachineName) >> (8 * i)));
  std::string LComment = Utf8ToCP932(Trimmed(AComment));
  if (LComment.size() < kMagMinComment) LComment.resize(kMagMinComment, ' ');
  LFile += LComment;
  LFile.push_back('\x1A');
  LFile.append(reinterpret_cast<const char*>(H.GetData()), static_cast<size_t>(H.GetSize()));
  AStream.WriteBuffer(LFile.data(), static_cast<int64_t>(LFile.size()));
}
