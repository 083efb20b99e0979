#include "bitmap/B32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "bitmap/B32_Backends.h"
#include "bitmap/B32_Resamplers.h"
#include "rtl/KvClasses.h"

namespace {

std::string RectStr(const TRect& R) {
  return std::to_string(R.Left) + "," + std::to_string(R.Top) + "," + std::to_string(R.Right) + "," +
         std::to_string(R.Bottom);
}

// A bitmap that also logs its backend hooks.
class LoggedBitmap : public TBitmap32 {
public:
  std::vector<std::string> Events;
  void Attach() {
    SetOnChange([this](TObject*) { Events.push_back("change"); });
    SetOnResize([this](TObject*) { Events.push_back("resize"); });
    SetOnAreaChanged([this](TObject*, const TRect& R, uint32_t Info) {
      Events.push_back("area " + RectStr(R) + (Info == AREA_INFO_RECT ? "" : " ?"));
    });
  }

protected:
  void BackendChangingHook() override { Events.push_back("changing"); }
  void BackendChanged() override {
    TBitmap32::BackendChanged();
    Events.push_back("backend " + std::string(GetBits() ? "bits" : "nil") + " clip " + RectStr(GetClipRect()));
  }
};

void Fill(TCustomBitmap32& B, std::initializer_list<TColor32> Px) {
  TColor32* P = B.GetBits();
  for (TColor32 C : Px) *P++ = C;
}

std::vector<uint8_t> Bytes(TMemoryStream& M) {
  return std::vector<uint8_t>(M.GetMemory(), M.GetMemory() + M.GetSize());
}

uint32_t LE32(const std::vector<uint8_t>& B, size_t Off) {
  return uint32_t(B[Off]) | uint32_t(B[Off + 1]) << 8 | uint32_t(B[Off + 2]) << 16 | uint32_t(B[Off + 3]) << 24;
}

void PutLE32(std::vector<uint8_t>& B, size_t Off, uint32_t V) {
  for (int I = 0; I < 4; ++I) B[Off + I] = uint8_t(V >> (8 * I));
}

TMemoryStream StreamOf(const std::vector<uint8_t>& B) {
  TMemoryStream M;
  if (!B.empty()) M.WriteBuffer(B.data(), static_cast<int64_t>(B.size()));
  M.SetPosition(0);
  return M;
}

// A valid 2 x 2 top-down file.
std::vector<uint8_t> SmallBmp() {
  TBitmap32 B(2, 2);
  Fill(B, {0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00});
  TMemoryStream M;
  B.SaveToStream(M, false);
  return Bytes(M);
}

}  // namespace

TEST(B32Test, NewBitmapDefaultsAndClearedMemory) {
  TBitmap32 B;
  EXPECT_TRUE(B.Empty());
  EXPECT_EQ(B.GetBits(), nullptr);
  EXPECT_EQ(B.GetDrawMode(), dmOpaque);
  EXPECT_EQ(B.GetCombineMode(), cmBlend);
  EXPECT_EQ(B.GetWrapMode(), wmClamp);
  EXPECT_EQ(B.GetMasterAlpha(), 255u);
  EXPECT_EQ(B.GetOuterColor(), 0u);
  EXPECT_EQ(B.GetResamplerClassName(), "TNearestResampler");
  EXPECT_EQ(B.GetBackend()->GetRefCount(), 1);

  TCustomBitmap32 C(2, 2);
  for (int I = 0; I < 4; ++I) EXPECT_EQ(C.GetBits()[I], 0xFF000000u);
}

TEST(B32Test, NegativeSizeGivesEmptyBitmapAndRepeatIsSilent) {
  LoggedBitmap B;
  B.Attach();
  EXPECT_TRUE(B.SetSize(-5, 10));
  EXPECT_EQ(B.GetWidth(), 0);
  EXPECT_EQ(B.GetHeight(), 10);
  EXPECT_TRUE(B.Empty());
  EXPECT_EQ(B.GetBits(), nullptr);
  B.Events.clear();
  EXPECT_FALSE(B.SetSize(-5, 10));
  EXPECT_TRUE(B.Events.empty());
}

TEST(B32Test, SetSizeEventOrder) {
  LoggedBitmap B;
  B.Attach();
  B.SetSize(3, 2);
  EXPECT_EQ(B.Events, (std::vector<std::string>{"changing", "backend bits clip 0,0,3,2", "area 0,0,3,2", "change",
                                                "resize"}));
  B.Events.clear();
  B.BeginUpdate();
  B.SetSize(4, 4);
  B.EndUpdate();
  EXPECT_EQ(B.Events, (std::vector<std::string>{"changing", "backend bits clip 0,0,4,4", "resize"}));
}

TEST(B32Test, FillRectSClipsAndReportsTwice) {
  LoggedBitmap B;
  B.SetSize(4, 4);
  B.Events.clear();
  B.Attach();
  B.FillRectS(-10, -10, 5, 5, 0xFF123456);
  for (int I = 0; I < 16; ++I) EXPECT_EQ(B.GetBits()[I], 0xFF123456u);
  EXPECT_EQ(B.Events, (std::vector<std::string>{"area 0,0,4,4", "change", "area 0,0,4,4", "change"}));

  B.Events.clear();
  B.FillRectS(5, 5, 1, 1, 0);
  EXPECT_EQ(B.Events, (std::vector<std::string>{"area 5,5,1,1", "change"}));
  EXPECT_EQ(B.GetPixel(0, 0), 0xFF123456u);

  // A clip limits Clear.
  B.SetClipRect(TRect{1, 1, 3, 3});
  B.Clear(0xFF000001);
  EXPECT_EQ(B.GetPixel(0, 0), 0xFF123456u);
  EXPECT_EQ(B.GetPixel(1, 1), 0xFF000001u);
  EXPECT_EQ(B.GetPixel(2, 2), 0xFF000001u);
  EXPECT_EQ(B.GetPixel(3, 3), 0xFF123456u);
}

TEST(B32Test, ClearOnEmptyBitmapIsSilentAndResetAlphaKeepsColours) {
  LoggedBitmap B;
  B.Attach();
  B.Clear(0xFFFFFFFF);
  EXPECT_TRUE(B.Events.empty());

  B.SetSize(5, 4);  // 20 pixels: one 16-pixel step and a remainder
  B.Clear(0x00A0B0C0);
  B.ResetAlpha(0x80);
  for (int I = 0; I < 20; ++I) EXPECT_EQ(B.GetBits()[I], 0x80A0B0C0u);
  B.ResetAlpha();
  EXPECT_EQ(B.GetPixel(4, 3), 0xFFA0B0C0u);
}

TEST(B32Test, MeasuringModeReportsAreasWithoutDrawing) {
  LoggedBitmap B;
  B.SetSize(4, 4);
  B.Clear(0xFF010203);
  B.Events.clear();
  B.Attach();
  std::vector<std::string> Measured;
  B.StartMeasuring([&](TObject*, const TRect& R, uint32_t) { Measured.push_back(RectStr(R)); });
  B.Clear(0xFFFFFFFF);
  B.FillRectS(1, 1, 3, 3, 0xFFFFFFFF);
  B.FillRectSR(TRect{0, 0, 2, 2}, 0xFFFFFFFF);
  B.ResetAlpha(0);
  B.StopMeasuring();
  for (int I = 0; I < 16; ++I) EXPECT_EQ(B.GetBits()[I], 0xFF010203u);
  EXPECT_EQ(B.Events, std::vector<std::string>{});  // no OnChange, and OnAreaChanged was swapped out
  EXPECT_EQ(Measured, (std::vector<std::string>{"0,0,4,4", "1,1,3,3", "0,0,2,2", "0,0,4,4"}));
  // The saved event is back.
  B.Clear(0);
  EXPECT_EQ(B.Events, (std::vector<std::string>{"area 0,0,4,4", "change"}));
}

TEST(B32Test, ClippedAndWrappedReads) {
  TBitmap32 B(4, 1);
  Fill(B, {10, 11, 12, 13});
  B.SetOuterColor(0x12345678);
  EXPECT_EQ(B.GetPixelS(-1, 0), 0x12345678u);
  EXPECT_EQ(B.GetPixelS(4, 0), 0x12345678u);
  EXPECT_EQ(B.GetPixelS(2, 0), 12u);
  struct Case {
    TWrapMode Mode;
    int32_t X;
    TColor32 Expected;
  };
  for (const Case& C : {Case{wmRepeat, -1, 13}, Case{wmMirror, -1, 10}, Case{wmClamp, -1, 10},
                        Case{wmRepeat, 5, 11}, Case{wmMirror, 5, 12}, Case{wmClamp, 9, 13}}) {
    B.SetWrapMode(C.Mode);
    EXPECT_EQ(B.GetPixelW(C.X, 0), C.Expected) << int(C.Mode) << " " << C.X;
  }
}

// With an empty clip there is nothing to wrap into: the wrapped reads give
// OuterColor in every mode, on a bitmap with pixels and on one without.
TEST(B32Test, WrappedReadsOfAnEmptyClipGiveOuterColor) {
  TBitmap32 B(4, 4);
  B.Clear(0xFF000000);
  B.SetOuterColor(0x12345678);
  B.SetClipRect(TRect{6, 6, 9, 9});
  TBitmap32 E;
  E.SetOuterColor(0x12345678);
  for (TWrapMode Mode : {wmClamp, wmRepeat, wmMirror}) {
    for (TBitmap32* P : {&B, &E}) {
      P->SetWrapMode(Mode);
      EXPECT_EQ(P->GetPixelW(-1, 0), 0x12345678u) << int(Mode);
      EXPECT_EQ(P->GetPixelW(5, 2), 0x12345678u) << int(Mode);
      EXPECT_EQ(P->GetPixelXW(Fixed(1), 0x8000), 0x12345678u) << int(Mode);
    }
  }
}

TEST(B32Test, InterpolatingReads) {
  TBitmap32 B(2, 2);
  Fill(B, {0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF});
  // On a pixel centre the read is the pixel itself.
  EXPECT_EQ(B.GetPixelXS(Fixed(0), Fixed(0)), 0xFF000000u);
  // The last column and row are read directly, beyond them lies OuterColor.
  EXPECT_EQ(B.GetPixelXS(Fixed(1), Fixed(0)), 0xFFFFFFFFu);
  EXPECT_EQ(B.GetPixelXS(Fixed(2), Fixed(0)), 0u);
  EXPECT_EQ(B.GetPixelXS(-Fixed(1), Fixed(0)), 0u);
  // Half way between black and white (the weights pass through the gamma table).
  const TColor32 Mid = B.GetPixelXS(0x8000, 0);
  EXPECT_GT(Mid & 255, 0x10u);
  EXPECT_LT(Mid & 255, 0xF0u);
  // Wrapped: a quarter into the repeated left neighbour of column 0.
  B.SetWrapMode(wmRepeat);
  EXPECT_EQ(B.GetPixelXW(-Fixed(1), 0), 0xFFFFFFFFu);
  EXPECT_EQ(B.GetPixelXW(Fixed(2), 0), 0xFF000000u);
}

TEST(B32Test, BmpRoundTripTopDownAndBottomUp) {
  TBitmap32 B(2, 2);
  Fill(B, {0x11223344, 0x55667788, 0x99AABBCC, 0xDDEEFF00});
  for (bool BottomUp : {false, true}) {
    TMemoryStream M;
    B.SaveToStream(M, BottomUp);
    const std::vector<uint8_t> D = Bytes(M);
    ASSERT_EQ(D.size(), 70u);
    EXPECT_EQ(D[0], 'B');
    EXPECT_EQ(D[1], 'M');
    EXPECT_EQ(LE32(D, 2), 70u);
    EXPECT_EQ(LE32(D, 10), 54u);
    EXPECT_EQ(LE32(D, 14), 40u);
    EXPECT_EQ(LE32(D, 18), 2u);
    EXPECT_EQ(static_cast<int32_t>(LE32(D, 22)), BottomUp ? 2 : -2);
    EXPECT_EQ(LE32(D, 26), 32u << 16 | 1u);
    EXPECT_EQ(LE32(D, 34), 16u);
    EXPECT_EQ(LE32(D, 54), BottomUp ? 0x99AABBCCu : 0x11223344u);

    TBitmap32 L;
    M.SetPosition(0);
    L.LoadFromStream(M);
    ASSERT_EQ(L.GetWidth(), 2);
    ASSERT_EQ(L.GetHeight(), 2);
    EXPECT_EQ(std::memcmp(L.GetBits(), B.GetBits(), 16), 0);
    EXPECT_TRUE(L.SameAs(&B));
  }
}

TEST(B32Test, BmpLoadHonoursPixelDataOffset) {
  // A file with a larger information header: pixels start at offset 138.
  std::vector<uint8_t> D = SmallBmp();
  std::vector<uint8_t> F(D.begin(), D.begin() + 54);
  F.resize(138, 0);
  PutLE32(F, 10, 138);
  PutLE32(F, 14, 124);
  F.insert(F.end(), D.begin() + 54, D.end());
  PutLE32(F, 2, static_cast<uint32_t>(F.size()));
  TMemoryStream M = StreamOf(F);
  TBitmap32 B;
  B.LoadFromStream(M);
  ASSERT_EQ(B.GetWidth(), 2);
  EXPECT_EQ(B.GetPixel(0, 0), 0x11223344u);
  EXPECT_EQ(B.GetPixel(1, 1), 0xDDEEFF00u);
}

TEST(B32Test, BmpLoadIgnoresTheStoredFileSize) {
  for (uint32_t Size : {0u, 1u, 5000u, 0xFFFFFFFFu}) {
    std::vector<uint8_t> D = SmallBmp();
    PutLE32(D, 2, Size);
    TMemoryStream M = StreamOf(D);
    TBitmap32 B;
    B.LoadFromStream(M);
    EXPECT_EQ(B.GetWidth(), 2) << Size;
    EXPECT_EQ(B.GetPixel(1, 1), 0xDDEEFF00u) << Size;
  }
}

namespace {
// A source whose copy fails after the pixels were taken.
class FailingCopyBitmap : public TBitmap32 {
public:
  using TBitmap32::TBitmap32;
  void CopyPropertiesTo(TCustomBitmap32*) const override { throw Exception("copy failed"); }
};
}  // namespace

TEST(B32Test, AssignReportsOneChangeInEveryCase) {
  TBitmap32 Full(2, 2);
  FailingCopyBitmap Failing(3, 1);
  TPersistent Other;
  const struct {
    const char* Name;
    int W, H;  // the destination before
    const TPersistent* Source;
    bool Throws;
  } Cases[] = {
      {"nil onto empty", 0, 0, nullptr, false},
      {"nil onto a picture", 2, 2, nullptr, false},
      {"bitmap", 0, 0, &Full, false},
      {"failing bitmap copy", 1, 1, &Failing, true},
      {"unknown source", 1, 1, &Other, true},
  };
  for (const auto& C : Cases) {
    TBitmap32 B(C.W, C.H);
    int Changes = 0;
    B.SetOnChange([&](TObject*) { ++Changes; });
    if (C.Throws)
      EXPECT_THROW(B.Assign(C.Source), Exception) << C.Name;
    else
      B.Assign(C.Source);
    EXPECT_EQ(Changes, 1) << C.Name;
  }
}

TEST(B32Test, BadBmpFilesRaiseClearErrors) {
  const std::vector<uint8_t> Good = SmallBmp();
  struct Case {
    const char* Name;
    size_t Off;  // field to patch, or SIZE_MAX to truncate
    uint32_t Value;
  };
  const size_t Trunc = SIZE_MAX;
  const Case Cases[] = {
      {"truncated header", Trunc, 30},
      {"truncated pixels", Trunc, 60},
      {"offset past the end", 10, 1000},
      {"offset into the header", 10, 20},
      {"offset overflow", 10, 0xFFFFFFF0u},
      {"huge width", 18, 0x7FFFFFFF},
      {"huge height", 22, 0x40000000},
      {"huge both", 18, 100000},
      {"negative width", 18, 0xFFFFFFFEu},
      {"minimal height", 22, 0x80000000u},
      {"small info header", 14, 12},
      {"image size too small", 34, 4},
  };
  for (const Case& C : Cases) {
    std::vector<uint8_t> D = Good;
    if (C.Off == Trunc)
      D.resize(C.Value);
    else
      PutLE32(D, C.Off, C.Value);
    if (std::string(C.Name) == "huge both") PutLE32(D, 22, 100000);
    TMemoryStream M = StreamOf(D);
    TBitmap32 B(1, 1);
    try {
      B.LoadFromStream(M);
      ADD_FAILURE() << C.Name << ": no error";
    } catch (const EBitmapException& E) {
      EXPECT_NE(E.Message().find("Invalid bitmap file"), std::string::npos) << C.Name << ": " << E.Message();
    } catch (const std::exception& E) {
      ADD_FAILURE() << C.Name << ": unexpected " << E.what();
    }
  }
  // Not a 32-bit BMP, and nothing installed to read other pictures.
  std::vector<uint8_t> D = Good;
  D[28] = 24;
  TMemoryStream M = StreamOf(D);
  TBitmap32 B;
  EXPECT_THROW(B.LoadFromStream(M), EBitmapException);
  TMemoryStream Empty;
  EXPECT_THROW(B.LoadFromStream(Empty), EBitmapException);
}

TEST(B32Test, RawDataRoundTripAndShortStreams) {
  TBitmap32 B(3, 2);
  for (int I = 0; I < 6; ++I) B.GetBits()[I] = 0x01020300u + I;
  TMemoryStream M;
  B.WriteData(M);
  ASSERT_EQ(M.GetSize(), 8 + 24);
  TBitmap32 L;
  int Changes = 0;
  L.SetOnChange([&](TObject*) { ++Changes; });
  M.SetPosition(0);
  L.ReadData(M);
  EXPECT_TRUE(L.SameAs(&B));
  EXPECT_GE(Changes, 1);

  // A size the stream cannot hold is refused before allocating; Changed still runs.
  std::vector<uint8_t> D(8, 0);
  PutLE32(D, 0, 60000);
  PutLE32(D, 4, 60000);
  TMemoryStream S = StreamOf(D);
  Changes = 0;
  EXPECT_THROW(L.ReadData(S), EReadError);
  EXPECT_EQ(Changes, 1);
  // The largest sides too: their byte count needs the full 64 bits.
  PutLE32(D, 0, 0x7FFFFFFF);
  PutLE32(D, 4, 0x7FFFFFFF);
  TMemoryStream Huge = StreamOf(D);
  EXPECT_THROW(L.ReadData(Huge), EReadError);

  EXPECT_FALSE(B.ShouldStoreData(&L));
  TBitmap32 E;
  EXPECT_FALSE(E.ShouldStoreData(nullptr));
  EXPECT_TRUE(B.ShouldStoreData(nullptr));
}

TEST(B32Test, FileRoundTrip) {
  const std::string Name = ::testing::TempDir() + "/b32test_roundtrip.bmp";
  TBitmap32 B(3, 3);
  B.Clear(0x80402010);
  B.SaveToFile(Name, true);
  TBitmap32 L;
  L.LoadFromFile(Name);
  EXPECT_TRUE(L.SameAs(&B));
  std::remove(Name.c_str());
}

TEST(B32Test, ResamplerClassNameAndAssign) {
  TBitmap32 A(2, 1);
  Fill(A, {0xFF102030, 0x80405060});
  TCustomResampler* R = A.GetResampler();
  A.SetResamplerClassName("TNearestResampler");
  EXPECT_EQ(A.GetResampler(), R);
  A.SetResamplerClassName("TNoSuchResampler");
  EXPECT_EQ(A.GetResampler(), R);
  A.SetResamplerClassName("tkernelresampler");  // names are case-sensitive
  EXPECT_EQ(A.GetResampler(), R);

  A.SetResamplerClassName("TKernelResampler");
  auto* K = dynamic_cast<TKernelResampler*>(A.GetResampler());
  ASSERT_NE(K, nullptr);
  K->SetKernelClassName("TLanczosKernel");
  static_cast<TLanczosKernel*>(K->GetKernel())->SetWidth(2);
  K->SetKernelMode(kmTableLinear);
  K->SetPixelAccessMode(pamWrap);
  A.SetDrawMode(dmBlend);
  A.SetCombineMode(cmMerge);
  A.SetWrapMode(wmMirror);
  A.SetMasterAlpha(100);
  A.SetOuterColor(0x01020304);

  TBitmap32 B;
  B.Assign(&A);
  EXPECT_TRUE(B.SameAs(&A));
  EXPECT_EQ(B.GetDrawMode(), dmBlend);
  EXPECT_EQ(B.GetCombineMode(), cmMerge);
  EXPECT_EQ(B.GetWrapMode(), wmMirror);
  EXPECT_EQ(B.GetMasterAlpha(), 100u);
  EXPECT_EQ(B.GetOuterColor(), 0x01020304u);
  auto* KB = dynamic_cast<TKernelResampler*>(B.GetResampler());
  ASSERT_NE(KB, nullptr);
  EXPECT_EQ(KB->GetBitmap(), &B);
  EXPECT_EQ(KB->GetKernelClassName(), "TLanczosKernel");
  EXPECT_EQ(static_cast<TLanczosKernel*>(KB->GetKernel())->Width(), 2.0f);
  EXPECT_EQ(KB->GetKernelMode(), kmTableLinear);
  EXPECT_EQ(KB->GetPixelAccessMode(), pamWrap);

  B.Assign(nullptr);
  EXPECT_TRUE(B.Empty());
}

TEST(B32Test, ResamplerBaseBoundsAndNotification) {
  TBitmap32 B(4, 3);
  TCustomResampler* R = B.GetResampler();
  EXPECT_EQ(R->GetPixelAccessMode(), pamSafe);
  EXPECT_TRUE(R->HasBounds());
  EXPECT_EQ(R->GetSampleBounds(), (TFloatRect{0, 0, 4, 3}));
  int Changes = 0;
  std::vector<std::string> Areas;
  B.SetOnChange([&](TObject*) { ++Changes; });
  B.SetOnAreaChanged([&](TObject*, const TRect& A, uint32_t) { Areas.push_back(RectStr(A)); });
  R->SetPixelAccessMode(pamTransparentEdge);
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(Areas, std::vector<std::string>{"0,0,4,3"});
  EXPECT_EQ(R->GetSampleBounds(), (TFloatRect{-1, -1, 5, 4}));
  R->SetPixelAccessMode(pamTransparentEdge);
  EXPECT_EQ(Changes, 1);
  R->SetPixelAccessMode(pamWrap);
  EXPECT_FALSE(R->HasBounds());

  // A second resampler for the same bitmap replaces (and frees) the first.
  TCustomResampler* K = TKernelResampler::Class().CreateForBitmap(&B);
  EXPECT_EQ(B.GetResampler(), K);
  EXPECT_EQ(K->GetBitmap(), &B);
}

TEST(B32Test, BackendSwitchKeepsSizeAndPixels) {
  TBitmap32 B(2, 2);
  Fill(B, {1, 2, 3, 4});
  TMemoryBackend::Class().Create(&B);
  EXPECT_EQ(B.GetBackend()->GetRefCount(), 1);
  EXPECT_EQ(B.GetWidth(), 2);
  EXPECT_EQ(B.GetBits()[3], 4u);
  TCustomBackend* Ref = B.TakeBackendRef();
  EXPECT_EQ(Ref->GetRefCount(), 2);
  Ref->Release();
}
