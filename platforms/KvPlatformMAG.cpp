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

TKvBytes FindMagHeader(const TKvBytes& AFile) {
  int64_t o = kMagPrefix;
  while (o < AFile.Size() && AFile.U8(o) != 0x1A) ++o;
  if (o >= AFile.Size()) return {};
  ++o;
  while (o < AFile.Size() && AFile.U8(o) != 0) ++o;
  return AFile.Sub(o);
}

bool CheckMagHeader(const TKvBytes& AHeader) {
  const int64_t LRemaining = AHeader.Size();
  if (LRemaining <= 32 || AHeader.U8(0) != 0) return false;
  if (AHeader.Le16(4) > AHeader.Le16(8) || AHeader.Le16(6) > AHeader.Le16(10)) return false;
  const int64_t a = AHeader.Le32(12), b = AHeader.Le32(16), pix = AHeader.Le32(24);
  for (const int64_t o : {a, b, pix})
    if (o < 32 || o > LRemaining - 1) return false;
  if (!(a < b && b <= pix)) return false;
  const uint8_t mode = AHeader.U8(3);
  if (!(mode < 8 || mode == 0x80 || mode == 0x81 || mode == 0x84 || mode == 0x85)) return false;
  if (AHeader.U8(1) == 3 && (AHeader.U8(2) >> 4) >= 7) return false;
  return true;
}

bool CheckMagFile(const TKvBytes& AFile) {
  if (AFile.Size() < 47 || !AFile.Same(0, kMagSignature, 8)) return false;
  return CheckMagHeader(FindMagHeader(AFile));
}

std::string ReadMagComment(const TKvBytes& AFile) {
  std::string raw;
  for (int64_t i = kMagPrefix; i < AFile.Size() && AFile.U8(i) != 0x1A; ++i)
    raw.push_back(static_cast<char>(AFile.U8(i)));
  return Trimmed(CP932ToUtf8(raw));
}

TKvBytes GetMagPaletteArea(const TKvBytes& AHeader) { return AHeader.Sub(32, int64_t{AHeader.Le32(12)} - 32); }

TKvBytes GetMagFlagAArea(const TKvBytes& AHeader) {
  const int64_t a = AHeader.Le32(12);
  return AHeader.Sub(a, AHeader.Le32(16) - a);
}

TKvBytes GetMagFlagBArea(const TKvBytes& AHeader) {
  const int64_t b = AHeader.Le32(16);
  return AHeader.Sub(b, AHeader.Le32(24) - b);
}

TKvBytes GetMagPixelArea(const TKvBytes& AHeader) { return AHeader.Sub(AHeader.Le32(24)); }

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
