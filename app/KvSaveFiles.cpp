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
