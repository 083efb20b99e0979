#include "app/KvSaveFiles.h"

#include "app/KvControls.h"
#include "app/KvGraphics.h"
#include "core/KvBitmap.h"
#include "core/KvStream.h"

void SaveKvBitmapBMP(TKvBitmap& ABitmap, const std::string& AFileName) {
  WriteFileWhole(AFileName, EncodeBmp(ABitmap));
}

void SaveKvBitmapPNG(TKvBitmap& ABitmap, const std::string& AFileName) {
  TPngImage LPng;
  LPng.Assign(ABitmap);
  SetPngSoftwareText(LPng);
  LPng.SaveToFile(AFileName);
}

void SaveKvBitmapGIF(TKvBitmap& ABitmap, const std::string& AFileName) {
  TGIFImage LGif;
  LGif.Assign(ABitmap);
  LGif.UseGlobalColorMap();
  LGif.SaveToFile(AFileName);
}

std::string ChangeFileExt(const std::string& AFileName, const std::string& AExt) {
  const size_t LPos = AFileName.find_last_of("./");
  if (LPos != std::string::npos && AFileName[LPos] == '.') return AFileName.substr(0, LPos) + AExt;
  return AFileName + AExt;
}

std::string ExtractFileName(const std::string& AFileName) {
  const size_t LPos = AFileName.find_last_of('/');
  return LPos == std::string::npos ? AFileName : AFileName.substr(LPos + 1);
}

std::string ExtractFilePath(const std::string& AFileName) {
  const size_t LPos = AFileName.find_last_of('/');
  return LPos == std::string::npos ? std::string() : AFileName.substr(0, LPos + 1);
}

std::string ExtractFileExt(const std::string& AFileName) {
  const size_t LPos = AFileName.find_last_of("./");
  if (LPos != std::string::npos && AFileName[LPos] == '.') return AFileName.substr(LPos);
  return std::string();
}

std::string SaveKvStream(TKvStream& AStream, const std::string& AFileName) {
  const std::string LFolder = ExtractFilePath(AFileName);
  std::string LName = ExtractFileName(AFileName);
  AStream.AdjustFileName(LName);
  AStream.StoreFileName(LName);
  const std::string LFileName = LFolder + LName;
  const uint8_t* LData = AStream.GetMemory();
  WriteFileWhole(LFileName, std::string(reinterpret_cast<const char*>(LData), static_cast<size_t>(AStream.GetSize())));
  for (int j = 0; j < AStream.GetSubStreamCount(); ++j) {
    TKvStream* LSub = AStream.GetSubStream(j);
    SaveKvStream(*LSub, ChangeFileExt(LFileName, "." + LSub->GetExtension()));
  }
  return LFileName;
}
