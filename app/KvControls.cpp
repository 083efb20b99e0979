#include "app/KvControls.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "app/KvGraphics.h"
#include "bitmap/B32.h"
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
