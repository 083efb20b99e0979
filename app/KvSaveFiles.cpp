#include "app/KvSaveFiles.h"

#include "app/KvControls.h"
#include "app/KvGraphics.h"
#include "core/KvBitmap.h"
#include "core/KvStream.h"
#include "rtl/KvClasses.h"

void SaveKvBitmapBMP(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles) {
  AFiles.Add(AFileName, EncodeBmp(ABitmap));
}

void SaveKvBitmapPNG(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles) {
  TPngImage png;
  png.Assign(ABitmap);
  SetPngSoftwareText(png);
  AFiles.Add(AFileName, png.Encode());
}

void SaveKvBitmapGIF(TKvBitmap& ABitmap, const std::string& AFileName, TFileSetWriter& AFiles) {
  TGIFImage gif;
  gif.Assign(ABitmap);
  gif.UseGlobalColorMap();
  AFiles.Add(AFileName, gif.Encode());
}

void SaveKvBitmapBMP(TKvBitmap& ABitmap, const std::string& AFileName) {
  WriteFileWhole(AFileName, EncodeBmp(ABitmap));
}

std::string SaveKvStream(TKvStream& AStream, const std::string& AFileName, TFileSetWriter& AFiles) {
  const std::string folder = ExtractFilePath(AFileName);
  std::string name = ExtractFileName(AFileName);
  AStream.AdjustFileName(name);
  AStream.StoreFileName(name);
  const std::string fileName = folder + name;
  AFiles.Add(fileName, AStream.GetMemory(), AStream.GetSize());
  for (int j = 0; j < AStream.GetSubStreamCount(); ++j) {
    TKvStream* sub = AStream.GetSubStream(j);
    SaveKvStream(*sub, ChangeFileExt(fileName, "." + sub->GetExtension()), AFiles);
  }
  return fileName;
}

std::string SaveKvStream(TKvStream& AStream, const std::string& AFileName) {
  TFileSetWriter files;
  const std::string fileName = SaveKvStream(AStream, AFileName, files);
  files.Commit();
  return fileName;
}
