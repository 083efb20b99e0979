// Routines shared across the application frame: the persisted settings, the
// supported picture files and the folder scan, the nearest existing folder,
// and the rules of the menu actions.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/KvSource.h"
#include "core/KvDestEngineOptions.h"

class TBitmap32;
class TPngImage;

// The settings are string values under the program's key of the current
// user's settings store (shell/noxShellBaseExtensionSystem.h).
// Never fails: anything unreadable reads as the empty string.
std::string ReadSetting(const std::string& AName);
void WriteSetting(const std::string& AName, const std::string& AValue);

std::string GetPathSetting();
void SetPathSetting(const std::string& AValue);
std::string GetPalettePathSetting();
void SetPalettePathSetting(const std::string& AValue);
std::string GetBatchPathSetting();
void SetBatchPathSetting(const std::string& AValue);
std::string GetLastPlatformSetting();
void SetLastPlatformSetting(const std::string& AValue);
std::string GetLastModeSetting();
void SetLastModeSetting(const std::string& AValue);

// True for the picture extensions the program opens, by name only.
bool IsPictureFile(const std::string& AFileName);
// Appends the picture files of one folder (not its subfolders), in the order
// the file system lists them; a folder that cannot be listed adds nothing.
void ScanFolder(const std::string& AFolder, std::vector<std::string>& AList, bool ANamesOnly);
// The nearest existing folder at or above APath, or the empty string.
std::string FindExistingFolder(const std::string& APath);

// The largest size of the source's shape inside the frame (0 x 0 for an empty
// source; never a 0 side otherwise).
TKvSize FitSourceInResult(double ASourceW, double ASourceH, int AWidth, int AHeight);
// The result size a picture of AWidth x AHeight asks for under the options:
// the picture seen through the pixel aspect, fitted into the largest result
// when it is bigger, and raised to the smallest one.
TKvSize SourceResultSize(const TKvDestEngineOptions& AOptions, int AWidth, int AHeight);
// The smallest size of the source's shape that covers the frame.
TKvSize FitResultInSource(double ASourceW, double ASourceH, int AWidth, int AHeight);

// ADest := ASource stretched to (AWidth x AZoom) by (AHeight x AZoom) with the
// nearest-neighbour resampler, so every pixel becomes an exact block.
void ZoomToSize(int AWidth, int AHeight, TBitmap32& ADest, TBitmap32& ASource, int AZoom);
// ADest := ASource zoomed AZoom times; zoom 1 copies without resampling.
void ZoomBitmap32(TBitmap32& ADest, TBitmap32& ASource, int AZoom);

// Marks a PNG as written by this program (a "Software" text chunk) and asks
// for the strongest compression.
void SetPngSoftwareText(TPngImage& APng);

// ---- Actions ----
//
// Every command of the menus is an action whose caption, shortcut, enabled
// state, check mark and visibility follow the rules below over the documents
// it is linked to. The window toolkit only shows what the rules say and runs
// the command.

class TKvDest;
class TKvPalette256;
class TKvStream;
class TKvTimer;
class TKvTimerFactory;

enum class TKvActionKind {
  Open, OpenFolder, Paste, Region, Close, BatchConvert, OpenPalette, SavePalette,
  DestCopy, DestPaste, SaveAsBmp, SaveAsPng, SaveAsGif, SaveAsScr, ViewZoom, ViewNativePAR, ViewNativeImage,
};

// What the rules read from the desktop besides the documents.
struct TKvActionDesktop {
  // Puts what the clipboard offers into AOffer (a probe: a bitmap is only
  // reported as offered); false when the clipboard cannot be read.
  std::function<bool(TnoxShellDataOffer& AOffer)> ReadClipboard;
  // The flicker display can pace its frames on this desktop.
  bool FlickerPacing = true;
};

// The menu text of a stream: its extensions in upper case, depth first,
// joined by "/", "RAW" for an empty one.
std::string StreamCaptionText(TKvStream& AStream);

// One action's rules. The links to the file list, the source and the result
// document clear themselves when the document goes away; the palette link is
// the palette shown by the current converter panel.
class TKvActionRule : public TObject, public IKvFreeNotification {
public:
  // AIndex: the stream index of SaveAsScr, the zoom of ViewZoom.
  explicit TKvActionRule(TKvActionKind AKind, int AIndex = 0);
  ~TKvActionRule() override;
  TKvActionRule(const TKvActionRule&) = delete;
  TKvActionRule& operator=(const TKvActionRule&) = delete;

  TKvActionKind GetKind() const { return FKind; }
  int GetIndex() const { return FIndex; }
  void SetSourceFiles(TKvSourceFiles* AFiles);
  void SetSource(TKvSource* ASource);
  void SetDest(TKvDest* ADest);
  void SetPalette(const TKvPalette256* APalette) { FPalette = APalette; }
  // Nil: a desktop whose clipboard cannot be read.
  void SetDesktop(const TKvActionDesktop* ADesktop) { FDesktop = ADesktop; }
  TKvSourceFiles* GetSourceFiles() const { return FSourceFiles; }
  TKvSource* GetSource() const { return FSource; }
  TKvDest* GetDest() const { return FDest; }

  // Set once at construction: the caption ("" for the native save, whose
  // caption is computed), the shortcut as "Ctrl+Shift+S" ("" for none), and
  // whether the action carries a check mark.
  std::string GetDefaultCaption() const;
  std::string GetShortCut() const;
  bool IsCheckable() const;
  // "bmp", "png" or "gif" for the picture saves, else "".
  std::string GetExtension() const;

  std::string QueryCaption() const;
  bool QueryEnabled() const;
  bool QueryChecked() const;
  bool QueryVisible() const;

  void FreeNotification(TObject* AComponent) override;

private:
  bool HasResult() const;
  bool ClipboardOffers(bool (*AAccepts)(const TnoxShellDataOffer&)) const;

  TKvActionKind FKind;
  int FIndex;
  TKvSourceFiles* FSourceFiles = nullptr;
  TKvSource* FSource = nullptr;
  TKvDest* FDest = nullptr;
  const TKvPalette256* FPalette = nullptr;
  const TKvActionDesktop* FDesktop = nullptr;
};

// The idle update of the actions: AUpdate runs at every tick of a timer made
// by the injected factory, so the shown state follows the documents.
class TKvActionUpdater {
public:
  static constexpr int IdleInterval = 100;
  TKvActionUpdater(TKvTimerFactory& ATimers, std::function<void()> AUpdate);
  ~TKvActionUpdater();
  void SetEnabled(bool AEnabled);

private:
  std::unique_ptr<TKvTimer> FTimer;
};
