#include "app/KvBatchThread.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "app/KvControls.h"
#include "app/KvSaveFiles.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvPalette.h"
#include "core/KvPictureDecoder.h"
#include "core/KvStream.h"
#include "rtl/KvClasses.h"

namespace {

std::string WithDelimiter(const std::string& A) { return (!A.empty() && A.back() == '/') ? A : A + "/"; }

}  // namespace


TKvBatchThread::TKvBatchThread(const std::vector<std::string>& AFiles, const std::string& ASourceFolder,
                               const std::string& ADestFolder, TKvDest& ADest, int AFormat,
                               TKvWorkerLauncher* ALauncher)
    : FSourceFolder(WithDelimiter(ASourceFolder)), FFiles(AFiles), FDestFolder(WithDelimiter(ADestFolder)),
      FFormat(AFormat) {
  if (!ADest.GetEngine() || !ADest.GetOptions()) throw Exception("Internal error");
  FEngineClass = &ADest.GetEngine()->ClassType();
  FEngine = FEngineClass->Create();
  FOptions = FEngine->CreateOptions();
  FOptions->Assign(ADest.GetOptions());
  static TKvThreadWorkerLauncher LThreads;
  FWorker = (ALauncher ? *ALauncher : LThreads).Launch([this] { Execute(); });
}

TKvBatchThread::~TKvBatchThread() {
  Cancel();
  WaitFor();
}

void TKvBatchThread::Cancel() {
  FTerminated = true;
  RequestAbort(&FAbort);
}

void TKvBatchThread::WaitFor() {
  if (FWorker) FWorker->WaitFor();
}

void TKvBatchThread::GetCounters(int& ADone, int& ATotal, int& APosition, int& AMax) {
  std::lock_guard<std::mutex> LGuard(FLock);
  ADone = FDone;
  ATotal = FTotal;
  int t = 0, d = 0;
  FProgress.GetProgress(t, d);
  // A converter that reports no total counts as no progress within the file.
  APosition = FDone * 100 + (t > 0 ? static_cast<int>(Round(d * 100.0 / t)) : 0);
  AMax = FTotal * 100;
}

void TKvBatchThread::AddLog(const std::string& ALine) {
  if (ALine.empty()) return;
  std::lock_guard<std::mutex> LGuard(FLock);
  FLog.push_back(ALine);
}

std::string TKvBatchThread::TakeLogLine() {
  std::lock_guard<std::mutex> LGuard(FLock);
  if (FLog.empty()) return std::string();
  std::string LLine = FLog.front();
  FLog.erase(FLog.begin());
  return LLine;
}

void TKvBatchThread::Execute() {
  try {
    if (FFiles.empty()) ScanFolder(FSourceFolder, FFiles, false);
    {
      std::lock_guard<std::mutex> LGuard(FLock);
      FDone = 0;
      FTotal = static_cast<int>(FFiles.size());
    }
    for (const std::string& LFile : FFiles) {
      const bool goOn = ConvertFile(LFile);
      {
        std::lock_guard<std::mutex> LGuard(FLock);
        FProgress.SetProgress(1, 0);
        ++FDone;
      }
      if (FTerminated || !goOn) break;
    }
  } catch (const std::exception& E) {
    AddLog(E.what());
  } catch (...) {
  }
  FFinished = true;
}

bool TKvBatchThread::ConvertFile(const std::string& F) {
  std::string LLogName = F;
  try {
    {
      std::lock_guard<std::mutex> LGuard(FLock);
      FProgress.SetProgress(1, 0);
    }
    std::unique_ptr<TBitmap32> LPicture;
    std::unique_ptr<TKvPalette256> LPalette, LUsedColors;
    {
      std::ifstream LStream(F, std::ios::binary);
      if (!LStream) throw EFOpenError("Cannot open file \"" + F + "\". " + std::strerror(errno));
      // The picture's own palettes go to every converter, as they do in the
      // interactive conversion (the source document decodes all three).
      DecodePicture(LStream, LPicture, LPalette, LUsedColors, 7);
    }
    if (!LPicture) throw Exception("Unknown image type");
    if (!FOptions->LockDimension) {
      const TKvSize LSize = SourceResultSize(*FOptions, LPicture->GetWidth(), LPicture->GetHeight());
      FOptions->SetWidth(LSize.Width);
      FOptions->SetHeight(LSize.Height);
    }
    TKvDestResizeJob LResize(*LPicture, FOptions->GetWidth(), FOptions->GetHeight(), FOptions->GetPixelAspectRatio(),
                             FOptions->Position, false);
    LResize.Run();
    if (FTerminated) return true;
    if (!LResize.Fitted) throw Exception("Internal error");
    FillOutsideRect(*LResize.Fitted, LResize.FittedRect, FOptions->BorderColor);
    std::unique_ptr<TKvDestEngineOptions> LOptions = FEngine->CreateOptions();
    LOptions->Assign(FOptions.get());
    TKvDestWorkJob LWork(*LResize.Fitted, LPalette.get(), LUsedColors.get(), *FEngineClass, *LOptions, FProgress,
                         &FAbort);
    LWork.Run();
    if (FTerminated) return true;
    if (!LWork.Result) throw Exception("Internal error");
    // A folder that cannot be made is logged once with its own reason; every
    // later file would fail the same way, so the batch ends here.
    std::error_code folderError;
    std::filesystem::create_directories(FDestFolder, folderError);
    if (folderError) {
      AddLog("Cannot create folder \"" + FDestFolder + "\". " + folderError.message());
      return false;
    }
    const std::string N = ExtractFileName(F);
    LLogName = N;
    const std::string renamed = SaveResult(*LWork.Result, LWork.Frames.get(), LWork.Streams.get(), N);
    AddLog(renamed.empty() ? N + ": OK" : N + ": OK, saved as " + renamed);
  } catch (const EAbort&) {
    if (!FTerminated) AddLog(LLogName + ": " + "Operation aborted");
  } catch (const std::exception& E) {
    AddLog(LLogName + ": " + E.what());
  }
  return true;
}

namespace {

// Names compare in lower case: on a file system that ignores case,
// Photo.scr and photo.scr are one file.
std::string NameKey(const std::string& AFileName) {
  std::string key = ExtractFileName(AFileName);
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return key;
}

}  // namespace

std::string TKvBatchThread::SaveResult(TKvBitmap& AResult, TKvBitmapList* AFrames, TKvStreamList* AStreams,
                                       const std::string& N) {
  // The first result of a stem keeps the plain name. A later one whose names
  // this batch has written already keeps its source's extension in its stem
  // (photo.png.scr beside photo.scr), and a number is added in the rare case
  // that this is taken too, so no conversion is lost without a word.
  for (int k = 0;; ++k) {
    const std::string stem = k == 0 ? ChangeFileExt(N, "") : k == 1 ? N : N + "_" + std::to_string(k);
    TFileSetWriter files;
    AddResultFiles(AResult, AFrames, AStreams, FDestFolder + stem, files);
    const std::vector<std::string> names = files.GetFileNames();
    if (std::any_of(names.begin(), names.end(), [this](const std::string& n) { return FWritten.count(NameKey(n)); }))
      continue;
    files.Commit();
    for (const std::string& n : names) FWritten.insert(NameKey(n));
    return k == 0 || names.empty() ? std::string() : ExtractFileName(names.front());
  }
}

void TKvBatchThread::AddResultFiles(TKvBitmap& AResult, TKvBitmapList* AFrames, TKvStreamList* AStreams,
                                    const std::string& AStem, TFileSetWriter& AFiles) {
  auto bmp = [&](TKvBitmap& b, const std::string& base) { SaveKvBitmapBMP(b, base + ".bmp", AFiles); };
  auto png = [&](TKvBitmap& b, const std::string& base) { SaveKvBitmapPNG(b, base + ".png", AFiles); };
  auto gif = [&](TKvBitmap& b, const std::string& base) {
    if (b.BitCount > 8)
      SaveKvBitmapBMP(b, base + ".bmp", AFiles);
    else
      SaveKvBitmapGIF(b, base + ".gif", AFiles);
  };
  auto withFrames = [&](auto ASave) {
    ASave(AResult, AStem);
    for (int i = 0; AFrames && i < AFrames->GetCount(); ++i)
      ASave(*AFrames->GetBitmap(i), AStem + "." + std::to_string(i));
  };
  switch (FFormat) {
    case 0: withFrames(bmp); break;
    case 1: withFrames(png); break;
    case 2: withFrames(gif); break;
    default:
      // Flicker frames are not written in native mode.
      if (AStreams && AStreams->GetCount() > 0) {
        for (int k = 0; k < AStreams->GetCount(); ++k) {
          TKvStream* stream = AStreams->GetStream(k);
          SaveKvStream(*stream, AStem + "." + stream->GetExtension(), AFiles);
        }
      } else {
        bmp(AResult, AStem);
      }
      break;
  }
}
