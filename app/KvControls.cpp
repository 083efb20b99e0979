#include "app/KvControls.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/KvAppServices.h"
#include "app/KvDest.h"
#include "app/KvGraphics.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvPalette.h"
#include "core/KvStream.h"
#include "rtl/KvSysUtils.h"
#include "shell/noxShellBaseExtensionSystem.h"

namespace fs = std::filesystem;

namespace {

std::string UpperAscii(std::string A) {
  for (char& c : A) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return A;
}

}  // namespace

std::string ReadSetting(const std::string& AName) {
  try {
    return RegReadString(GetCurrentUserKey(), KovrelRegistryKey, AName);
  } catch (...) {
    return std::string();
  }
}

void WriteSetting(const std::string& AName, const std::string& AValue) {
  RegWriteString(GetCurrentUserKey(), KovrelRegistryKey, AName, AValue);
}

std::string GetPathSetting() { return ReadSetting("Path"); }
void SetPathSetting(const std::string& AValue) { WriteSetting("Path", AValue); }
std::string GetPalettePathSetting() { return ReadSetting("PalettePath"); }
void SetPalettePathSetting(const std::string& AValue) { WriteSetting("PalettePath", AValue); }
std::string GetBatchPathSetting() { return ReadSetting("BatchPath"); }
void SetBatchPathSetting(const std::string& AValue) { WriteSetting("BatchPath", AValue); }
std::string GetLastPlatformSetting() { return ReadSetting("LastPlatform"); }
void SetLastPlatformSetting(const std::string& AValue) { WriteSetting("LastPlatform", AValue); }
std::string GetLastModeSetting() { return ReadSetting("LastMode"); }
void SetLastModeSetting(const std::string& AValue) { WriteSetting("LastMode", AValue); }

bool IsPictureFile(const std::string& AFileName) {
  const size_t LDot = AFileName.find_last_of("./\\");
  if (LDot == std::string::npos || AFileName[LDot] != '.') return false;
  const std::string LExt = UpperAscii(AFileName.substr(LDot));
  return LExt == ".JPG" || LExt == ".JPEG" || LExt == ".BMP" || LExt == ".PNG" || LExt == ".GIF";
}

void ScanFolder(const std::string& AFolder, std::vector<std::string>& AList, bool ANamesOnly) {
  std::string LFolder = AFolder;
  if (LFolder.empty() || LFolder.back() != '/') LFolder += '/';
  std::error_code LError;
  fs::directory_iterator LIt(LFolder, LError);
  if (LError) return;
  for (; LIt != fs::directory_iterator(); LIt.increment(LError)) {
    if (LError) return;
    if (LIt->is_directory(LError)) continue;
    const std::string LName = LIt->path().filename().string();
    if (!IsPictureFile(LName)) continue;
    AList.push_back(ANamesOnly ? LName : LFolder + LName);
  }
}

std::string FindExistingFolder(const std::string& APath) {
  std::string LPath = APath;
  while (!LPath.empty()) {
    if (LPath.size() > 1 && LPath.back() == '/') LPath.pop_back();
    std::error_code LError;
    if (fs::is_directory(LPath, LError)) return LPath;
    const std::string LParent = fs::path(LPath).parent_path().string();
    if (LParent == LPath) break;
    LPath = LParent;
  }
  return std::string();
}

TKvSize SourceResultSize(const TKvDestEngineOptions& AOptions, int AWidth, int AHeight) {
  const TKvSize LAspect = AOptions.GetPixelAspectRatio();
  const double M = std::max(LAspect.Width, LAspect.Height);
  int w = static_cast<int>(Round(AWidth * LAspect.Width / M));
  int h = static_cast<int>(Round(AHeight * LAspect.Height / M));
  const TKvSize LMax = AOptions.GetMaxSize();
  if (w > LMax.Width || h > LMax.Height) {
    const TKvSize LFit = FitSourceInResult(w, h, LMax.Width, LMax.Height);
    w = LFit.Width;
    h = LFit.Height;
  }
  const TKvSize LMin = AOptions.GetMinSize();
  return TKvSize{std::max(w, LMin.Width), std::max(h, LMin.Height)};
}

TKvSize FitSourceInResult(double ASourceW, double ASourceH, int AWidth, int AHeight) {
  if (ASourceW == 0 || ASourceH == 0) return TKvSize{0, 0};
  int64_t LW = AWidth;
  int64_t LH = Round(AWidth * ASourceH / ASourceW);
  if (LH > AHeight) {
    LH = AHeight;
    LW = Round(AHeight * ASourceW / ASourceH);
  }
  if (LW == 0) LW = 1;
  if (LH == 0) LH = 1;
  return TKvSize{static_cast<int32_t>(LW), static_cast<int32_t>(LH)};
}

TKvSize FitResultInSource(double ASourceW, double ASourceH, int AWidth, int AHeight) {
  if (ASourceW == 0 || ASourceH == 0) return TKvSize{0, 0};
  int64_t LW = AWidth;
  int64_t LH = Round(AWidth * ASourceH / ASourceW);
  if (LH < AHeight) {
    LH = AHeight;
    LW = Round(AHeight * ASourceW / ASourceH);
  }
  if (LW == 0) LW = 1;
  if (LH == 0) LH = 1;
  return TKvSize{static_cast<int32_t>(LW), static_cast<int32_t>(LH)};
}

void ZoomToSize(int AWidth, int AHeight, TBitmap32& ADest, TBitmap32& ASource, int AZoom) {
  ADest.SetSize(AWidth * AZoom, AHeight * AZoom);
  ASource.SetResamplerClassName("TNearestResampler");
  if (ADest.Empty() || ASource.Empty()) return;
  ASource.DrawToRect(&ADest, ADest.BoundsRect(), ASource.BoundsRect());
}

void ZoomBitmap32(TBitmap32& ADest, TBitmap32& ASource, int AZoom) {
  if (AZoom == 1) {
    ADest.Assign(&ASource);
    return;
  }
  ZoomToSize(ASource.GetWidth(), ASource.GetHeight(), ADest, ASource, AZoom);
}

void SetPngSoftwareText(TPngImage& APng) {
  APng.AddTextChunk("Software", "Kovrel");
  APng.SetCompressionLevel(9);
}

// ---- Actions ----

std::string StreamCaptionText(TKvStream& AStream) {
  std::string T;
  std::function<void(TKvStream&)> LVisit = [&](TKvStream& S) {
    if (!T.empty()) T += "/";
    T += S.GetExtension().empty() ? std::string("RAW") : UpperAscii(S.GetExtension());
    for (int j = 0; j < S.GetSubStreamCount(); ++j) LVisit(*S.GetSubStream(j));
  };
  LVisit(AStream);
  return T;
}

TKvActionRule::TKvActionRule(TKvActionKind AKind, int AIndex) : FKind(AKind), FIndex(AIndex) {}

TKvActionRule::~TKvActionRule() {
  SetSourceFiles(nullptr);
  SetSource(nullptr);
  SetDest(nullptr);
}

void TKvActionRule::SetSourceFiles(TKvSourceFiles* AFiles) {
  if (AFiles == FSourceFiles) return;
  if (FSourceFiles) FSourceFiles->RemoveClient(this);
  FSourceFiles = AFiles;
  if (FSourceFiles) FSourceFiles->AddClient(this);
}

void TKvActionRule::SetSource(TKvSource* ASource) {
  if (ASource == FSource) return;
  if (FSource) FSource->RemoveClient(this);
  FSource = ASource;
  if (FSource) FSource->AddClient(this);
}

void TKvActionRule::SetDest(TKvDest* ADest) {
  if (ADest == FDest) return;
  if (FDest) FDest->RemoveClient(this);
  FDest = ADest;
  if (FDest) FDest->AddClient(this);
}

void TKvActionRule::FreeNotification(TObject* AComponent) {
  if (AComponent == FSourceFiles) FSourceFiles = nullptr;
  if (AComponent == FSource) FSource = nullptr;
  if (AComponent == FDest) FDest = nullptr;
}

std::string TKvActionRule::GetExtension() const {
  switch (FKind) {
    case TKvActionKind::SaveAsBmp: return "bmp";
    case TKvActionKind::SaveAsPng: return "png";
    case TKvActionKind::SaveAsGif: return "gif";
    default: return std::string();
  }
}

std::string TKvActionRule::GetDefaultCaption() const {
  switch (FKind) {
    case TKvActionKind::Open: return "&Open...";
    case TKvActionKind::OpenFolder: return "Open &folder...";
    case TKvActionKind::Paste: return "&Paste";
    case TKvActionKind::Region: return "&Select region...";
    case TKvActionKind::Close: return "&Close";
    case TKvActionKind::BatchConvert: return "&Batch convert...";
    case TKvActionKind::OpenPalette: return "&Open palette...";
    case TKvActionKind::SavePalette: return "&Save palette as...";
    case TKvActionKind::DestCopy: return "&Copy";
    case TKvActionKind::DestPaste: return "&Paste";
    case TKvActionKind::SaveAsBmp:
    case TKvActionKind::SaveAsPng:
    case TKvActionKind::SaveAsGif: return "Save as &" + UpperAscii(GetExtension()) + "...";
    case TKvActionKind::SaveAsScr: return std::string();
    case TKvActionKind::ViewZoom: return "Zoom x&" + std::to_string(FIndex);
    case TKvActionKind::ViewNativePAR: return "&Native pixel aspect ratio";
    case TKvActionKind::ViewNativeImage: return "&Show flickering images";
  }
  return std::string();
}

std::string TKvActionRule::GetShortCut() const {
  switch (FKind) {
    case TKvActionKind::Open: return "Ctrl+O";
    case TKvActionKind::Paste: return "Ctrl+V";
    case TKvActionKind::Region: return "Ctrl+R";
    case TKvActionKind::DestCopy: return "Ctrl+C";
    case TKvActionKind::DestPaste: return "Ctrl+Shift+V";
    case TKvActionKind::SaveAsBmp: return "Ctrl+Shift+S";
    case TKvActionKind::SaveAsScr: return FIndex == 0 ? "Ctrl+S" : "";
    case TKvActionKind::ViewZoom: return "Ctrl+" + std::to_string(FIndex);
    case TKvActionKind::ViewNativePAR: return "Ctrl+P";
    case TKvActionKind::ViewNativeImage: return "Ctrl+F";
    default: return std::string();
  }
}

bool TKvActionRule::IsCheckable() const {
  return FKind == TKvActionKind::ViewZoom || FKind == TKvActionKind::ViewNativePAR ||
         FKind == TKvActionKind::ViewNativeImage;
}

bool TKvActionRule::HasResult() const { return FDest && FDest->GetResultBitmap(); }

bool TKvActionRule::ClipboardOffers(bool (*AAccepts)(const TnoxShellDataOffer&)) const {
  if (!FDesktop || !FDesktop->ReadClipboard) return false;
  TnoxShellDataOffer LOffer;
  return FDesktop->ReadClipboard(LOffer) && AAccepts(LOffer);
}

bool TKvActionRule::QueryEnabled() const {
  switch (FKind) {
    case TKvActionKind::Open: return FSource;
    case TKvActionKind::OpenFolder: return FSourceFiles;
    case TKvActionKind::Paste: return FSource && ClipboardOffers(&TKvSource::CanLoadFrom);
    case TKvActionKind::Region: return FSource && FDest && FSource->GetPicture();
    case TKvActionKind::Close:
      return (FSourceFiles && FSource && !FSourceFiles->GetFiles().empty()) || (FSource && FSource->GetPicture());
    case TKvActionKind::BatchConvert: return FDest;
    case TKvActionKind::OpenPalette: return true;
    case TKvActionKind::SavePalette: return FPalette && FPalette->GetCount() > 0;
    case TKvActionKind::DestCopy:
    case TKvActionKind::SaveAsBmp:
    case TKvActionKind::SaveAsPng:
    case TKvActionKind::ViewZoom:
    case TKvActionKind::ViewNativePAR: return HasResult();
    case TKvActionKind::DestPaste: return HasResult() && ClipboardOffers(&TKvDest::CanPaste);
    case TKvActionKind::SaveAsGif: return HasResult() && FDest->GetResultBitmap()->BitCount <= 8;
    case TKvActionKind::SaveAsScr:
      return HasResult() && FDest->GetStreams() && FDest->GetStreams()->GetCount() > FIndex;
    case TKvActionKind::ViewNativeImage:
      return FDest && FDest->HasFlickerFrames() && (!FDesktop || FDesktop->FlickerPacing);
  }
  return false;
}

bool TKvActionRule::QueryChecked() const {
  switch (FKind) {
    case TKvActionKind::ViewZoom: return FDest && FDest->GetUserZoom() == FIndex;
    case TKvActionKind::ViewNativePAR: return FDest && !FDest->GetSquarePixels();
    case TKvActionKind::ViewNativeImage: return QueryEnabled() && FDest->GetShowFlicker();
    default: return false;
  }
}

bool TKvActionRule::QueryVisible() const { return FKind != TKvActionKind::SaveAsScr || QueryEnabled(); }

std::string TKvActionRule::QueryCaption() const {
  if (FKind != TKvActionKind::SaveAsScr) return GetDefaultCaption();
  if (!QueryEnabled()) return std::string();
  return "Save as &" + StreamCaptionText(*FDest->GetStreams()->GetStream(FIndex)) + "...";
}

TKvActionUpdater::TKvActionUpdater(TKvTimerFactory& ATimers, std::function<void()> AUpdate)
    : FTimer(ATimers.CreateTimer()) {
  FTimer->SetInterval(IdleInterval);
  FTimer->SetOnTimer(std::move(AUpdate));
  FTimer->SetEnabled(true);
}

TKvActionUpdater::~TKvActionUpdater() = default;

void TKvActionUpdater::SetEnabled(bool AEnabled) { FTimer->SetEnabled(AEnabled); }
