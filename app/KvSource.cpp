#include "app/KvSource.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

#include "app/KvControls.h"
#include "app/KvSourceEngines.h"
#include "bitmap/B32.h"
#include "core/KvPalette.h"
#include "rtl/KvClasses.h"

namespace fs = std::filesystem;

namespace {

int CompareTextAscii(const std::string& A, const std::string& B) {
  const size_t LCount = std::min(A.size(), B.size());
  for (size_t i = 0; i < LCount; ++i) {
    const int LA = std::tolower(static_cast<unsigned char>(A[i]));
    const int LB = std::tolower(static_cast<unsigned char>(B[i]));
    if (LA != LB) return LA < LB ? -1 : 1;
  }
  return A.size() == B.size() ? 0 : (A.size() < B.size() ? -1 : 1);
}

std::string BareFileName(const std::string& AFileName) { return fs::path(AFileName).filename().string(); }

// The kind of a picture stream; streams too short to tell are no picture.
uint8_t SafeDetectFileType(std::istream& AStream) {
  try {
    return DetectFileType(AStream);
  } catch (const EReadError&) {
    AStream.clear();
    return kvftUnknown;
  }
}

std::unique_ptr<TKvPaletteList> GPaletteList;

}  // namespace

// TKvClientList

void TKvClientList::Add(TObject* AClient) { FItems.push_back(AClient); }

void TKvClientList::Remove(TObject* AClient) {
  auto LIt = std::find(FItems.begin(), FItems.end(), AClient);
  if (LIt != FItems.end()) FItems.erase(LIt);
}

bool TKvClientList::Contains(TObject* AClient) const {
  return std::find(FItems.begin(), FItems.end(), AClient) != FItems.end();
}

// TKvSource

TKvSource::TKvSource() = default;

TKvSource::~TKvSource() {
  TObject* LSelf = this;
  FClients.Notify<IKvFreeNotification>([&](IKvFreeNotification& C) { C.FreeNotification(LSelf); });
}

void TKvSource::AddClient(TObject* AClient) {
  FClients.Add(AClient);
  if (IKvSourceClient* LClient = dynamic_cast<IKvSourceClient*>(AClient)) {
    LClient->PictureChanged(FPicture.get());
    LClient->SourceChanged(FRegionPicture, FPalette.get(), FUsedColors.get());
  }
}

void TKvSource::RemoveClient(TObject* AClient) { FClients.Remove(AClient); }

void TKvSource::ClearDocument() {
  FFileName.clear();
  FRegionPicture = nullptr;
  FRegionCopy.reset();
  FPicture.reset();
  FPalette.reset();
  FUsedColors.reset();
}

void TKvSource::FailLoad() {
  ClearDocument();
  FRegion = TRect{};
  FClients.Notify<IKvSourceClient>([](IKvSourceClient& C) {
    C.PictureChanged(nullptr);
    C.SourceChanged(nullptr, nullptr, nullptr);
  });
}

void TKvSource::LoadFromFile(const std::string& AFileName) {
  uint8_t LType;
  {
    std::ifstream LStream(AFileName, std::ios::binary);
    if (!LStream) throw EFOpenError("Cannot open file \"" + AFileName + "\".");
    LType = SafeDetectFileType(LStream);
  }
  if (LType >= kvftBMP && LType <= kvftGIF) {
    std::ifstream LStream(AFileName, std::ios::binary);
    if (!LStream) throw EFOpenError("Cannot open file \"" + AFileName + "\".");
    LoadFromStream(BareFileName(AFileName), LStream);
  } else {
    LoadWithImporter(AFileName);
  }
}

void TKvSource::LoadFromStream(const std::string& AName, std::istream& AStream) {
  const uint8_t LType = SafeDetectFileType(AStream);
  if (LType < kvftBMP || LType > kvftGIF) throw Exception("Unknown image type");
  ClearDocument();
  FFileName = AName;
  try {
    switch (LType) {
      case kvftBMP:
        DecodeBMPImage(AStream, FPicture, FPalette, FUsedColors, kvdoBitmap | kvdoPalette | kvdoUsedColors);
        break;
      case kvftJPEG:
        FPicture = DecodeJPEGImage(AStream);
        break;
      case kvftPNG:
        DecodePNGImage(AStream, FPicture, FPalette, FUsedColors, kvdoBitmap | kvdoPalette | kvdoUsedColors);
        break;
      default:
        DecodeGIFImage(AStream, FPicture, FPalette, FUsedColors, kvdoBitmap | kvdoPalette | kvdoUsedColors);
        break;
    }
    if (!FPicture) throw Exception("Unknown image type");
    Update(true);
  } catch (...) {
    FailLoad();
    throw;
  }
}

void TKvSource::LoadWithImporter(const std::string& AFileName) {
  TKvFileLoadSource LSource(AFileName);
  if (LSource.GetSize() == 0) throw Exception("Unknown image type");
  std::unique_ptr<TKvSourceEngineList> LEngines = LSource.FindEngines();
  if (LEngines->GetCount() == 0) throw Exception("Unknown image type");
  if (!FImportChooser) return;
  std::unique_ptr<TBitmap32> LPicture = FImportChooser->Choose(LSource, *LEngines);
  if (!LPicture) return;
  ClearDocument();
  FFileName = BareFileName(AFileName);
  FPicture = std::move(LPicture);
  Update(true);
}

void TKvSource::LoadFromBitmapHandle(const std::string& AName, const TnoxOfferBitmap& ABitmap) {
  ClearDocument();
  FFileName = AName;
  try {
    // The offered pixels seen as a 32-bit picture (B, G, R, unused bytes).
    TKvSourceImage LImage;
    LImage.Width = ABitmap.Width;
    LImage.Height = ABitmap.Height;
    LImage.BitCount = 32;
    LImage.Stride = ABitmap.Width * 4;
    if (ABitmap.Width <= 0 || ABitmap.Height <= 0 ||
        static_cast<int64_t>(ABitmap.Width) * ABitmap.Height != static_cast<int64_t>(ABitmap.Pixels.size()))
      throw Exception("Unknown image type");
    LImage.Pixels.resize(ABitmap.Pixels.size() * 4);
    for (size_t i = 0; i < ABitmap.Pixels.size(); ++i) {
      const uint32_t LPixel = ABitmap.Pixels[i];
      LImage.Pixels[i * 4 + 0] = static_cast<uint8_t>(LPixel);
      LImage.Pixels[i * 4 + 1] = static_cast<uint8_t>(LPixel >> 8);
      LImage.Pixels[i * 4 + 2] = static_cast<uint8_t>(LPixel >> 16);
      LImage.Pixels[i * 4 + 3] = 0;
    }
    DecodeBitmap(LImage, FPicture, FPalette, FUsedColors, kvdoBitmap | kvdoPalette | kvdoUsedColors);
    if (!FPicture) throw Exception("Unknown image type");
    Update(true);
  } catch (...) {
    FailLoad();
    throw;
  }
}

bool TKvSource::CanLoadFrom(const TnoxShellDataOffer& AOffer) {
  return TnoxShellDataObjectHDropFormatHelper::CanLoadFrom(AOffer) ||
         TnoxShellDataObjectBitmapFormatHelper::CanLoadFrom(AOffer);
}

void TKvSource::LoadFromDataObject(const TnoxShellDataOffer& AOffer) {
  if (TnoxShellDataObjectBitmapFormatHelper::CanLoadFrom(AOffer)) {
    TnoxShellDataObjectBitmapFormatHelper LHelper;
    LHelper.LoadFrom(AOffer);
    std::unique_ptr<TnoxOfferBitmap> LBitmap = LHelper.DetachBitmap();
    if (LBitmap) LoadFromBitmapHandle("Unnamed", *LBitmap);
  } else if (TnoxShellDataObjectHDropFormatHelper::CanLoadFrom(AOffer)) {
    TnoxShellDataObjectHDropFormatHelper LHelper;
    LHelper.LoadFrom(AOffer);
    if (!LHelper.GetFiles().empty()) LoadFromFile(LHelper.GetFiles().front());
  }
}

void TKvSource::Close() {
  ClearDocument();
  Update(true);
}

void TKvSource::SetRegion(const TRect& ARect) {
  if (ARect == FRegion) return;
  FRegion = ARect;
  Update(false);
}

void TKvSource::Update(bool AWholePicture) {
  if (AWholePicture && FPicture) FRegion = TRect{0, 0, FPicture->GetWidth(), FPicture->GetHeight()};
  FRegionCopy.reset();
  FRegionPicture = nullptr;
  if (FPicture) {
    // The whole picture drawn opaquely onto white is the picture itself, so
    // it is handed out as it is: a huge picture is not held twice.
    if (FRegion == FPicture->BoundsRect() && FPicture->GetDrawMode() == dmOpaque) {
      FRegionPicture = FPicture.get();
    } else {
      FRegionCopy = std::make_unique<TBitmap32>(std::max(0, FRegion.Width()), std::max(0, FRegion.Height()));
      FRegionCopy->Clear(0xFFFFFFFF);
      FPicture->DrawTo(FRegionCopy.get(), -FRegion.Left, -FRegion.Top);
      FRegionPicture = FRegionCopy.get();
    }
  }
  if (AWholePicture) FClients.Notify<IKvSourceClient>([&](IKvSourceClient& C) { C.PictureChanged(FPicture.get()); });
  FClients.Notify<IKvSourceClient>(
      [&](IKvSourceClient& C) { C.SourceChanged(FRegionPicture, FPalette.get(), FUsedColors.get()); });
}

// TKvSourceFiles

TKvSourceFiles::~TKvSourceFiles() {
  TObject* LSelf = this;
  FClients.Notify<IKvFreeNotification>([&](IKvFreeNotification& C) { C.FreeNotification(LSelf); });
  SetSource(nullptr);
}

void TKvSourceFiles::NotifyChanged() {
  FClients.Notify<IKvSourceFilesClient>([](IKvSourceFilesClient& C) { C.SourceFilesChanged(); });
}

void TKvSourceFiles::OpenFolder(const std::string& AFolder) {
  try {
    FFiles.clear();
    ScanFolder(AFolder, FFiles, false);
    std::stable_sort(FFiles.begin(), FFiles.end(),
                     [](const std::string& A, const std::string& B) { return CompareTextAscii(A, B) < 0; });
    // The picture shown stays until a file of the list replaces it: the
    // first one may need the import dialog, which can be cancelled. A folder
    // without pictures leaves nothing to show.
    if (FFiles.empty() && FSource) FSource->Close();
    NotifyChanged();
  } catch (...) {
    FFiles.clear();
    if (FSource) FSource->Close();
    NotifyChanged();
    throw;
  }
}

void TKvSourceFiles::Clear() {
  FFiles.clear();
  NotifyChanged();
}

void TKvSourceFiles::SetSource(TKvSource* ASource) {
  if (ASource == FSource) return;
  if (FSource) FSource->RemoveClient(this);
  FSource = ASource;
  if (FSource) FSource->AddClient(this);
}

void TKvSourceFiles::FreeNotification(TObject* AComponent) {
  if (AComponent == FSource) FSource = nullptr;
}

// Palettes

bool IsGigaScreenPalette(const TKvPalette256& APalette) {
  if (APalette.Count != 256) return false;
  const TKvStdRGBColor LBlack{0, 0, 0};
  const TKvStdRGBColor LWhite{255, 255, 255};
  if (APalette.GetStdRGB(0) != LBlack || APalette.GetStdRGB(136) != LBlack || APalette.GetStdRGB(255) != LWhite)
    return false;
  for (int i = 0; i < 16; ++i)
    for (int j = 0; j < 16; ++j)
      if (APalette.GetStdRGB(i * 16 + j) != APalette.GetStdRGB(j * 16 + i)) return false;
  return true;
}

TKvPaletteList::TKvPaletteList() = default;
TKvPaletteList::~TKvPaletteList() = default;

void TKvPaletteList::NotifyChanged() {
  FClients.Notify<IKvPaletteListClient>([](IKvPaletteListClient& C) { C.PaletteListChanged(); });
}

void TKvPaletteList::LoadFolder(const std::string& AFolder) {
  std::error_code LError;
  fs::directory_iterator LIt(AFolder, LError);
  if (!LError)
    for (; LIt != fs::directory_iterator(); LIt.increment(LError)) {
      if (LError) break;
      if (LIt->is_directory(LError)) continue;
      try {
        LoadPalette(LIt->path().string());
      } catch (...) {
        // A palette file that cannot be read is left out.
      }
    }
  SortByName();
}

TKvPalette256* TKvPaletteList::LoadPalette(const std::string& AFileName) {
  auto LPalette = std::make_unique<TKvPalette256>();
  LPalette->LoadFromFile(AFileName);
  return Add(std::move(LPalette));
}

TKvPalette256* TKvPaletteList::Add(std::unique_ptr<TKvPalette256> APalette) {
  TKvPalette256* LResult = APalette.get();
  bool LReplaced = false;
  for (auto& LItem : FItems)
    if (CompareTextAscii(LItem->FileName, APalette->FileName) == 0 &&
        CompareTextAscii(LItem->Name, APalette->Name) == 0) {
      LItem = std::move(APalette);
      LReplaced = true;
      break;
    }
  if (!LReplaced) {
    if (IsGigaScreenPalette(*APalette))
      FGigaItems.push_back(std::move(APalette));
    else
      FItems.push_back(std::move(APalette));
  }
  NotifyChanged();
  return LResult;
}

void TKvPaletteList::RemoveGenerated() {
  FItems.erase(std::remove_if(FItems.begin(), FItems.end(),
                              [](const std::unique_ptr<TKvPalette256>& P) { return P->Generated; }),
               FItems.end());
  NotifyChanged();
}

void TKvPaletteList::AddClient(TObject* AClient) {
  FClients.Add(AClient);
  if (IKvPaletteListClient* LClient = dynamic_cast<IKvPaletteListClient*>(AClient)) LClient->PaletteListChanged();
}

void TKvPaletteList::SortByName() {
  // Neighbours swap only when strictly greater, so equal names keep their order.
  bool LSwapped = true;
  while (LSwapped) {
    LSwapped = false;
    for (size_t i = 0; i + 1 < FItems.size(); ++i)
      if (CompareTextAscii(FItems[i]->Name, FItems[i + 1]->Name) > 0) {
        std::swap(FItems[i], FItems[i + 1]);
        LSwapped = true;
      }
  }
}

TKvPaletteList& PaletteList() {
  if (!GPaletteList) throw Exception("Internal error");
  return *GPaletteList;
}

bool HasPaletteList() { return GPaletteList != nullptr; }

std::string GetProgramFolder() {
  std::error_code LError;
  const fs::path LExe = fs::read_symlink("/proc/self/exe", LError);
  if (LError) return std::string();
  std::string LFolder = LExe.parent_path().string();
  if (LFolder.empty() || LFolder.back() != '/') LFolder += '/';
  return LFolder;
}

void InitKvPaletteList() {
  GPaletteList = std::make_unique<TKvPaletteList>();
  GPaletteList->LoadFolder(GetProgramFolder() + "Palettes/");
}

void DoneKvPaletteList() { GPaletteList.reset(); }
