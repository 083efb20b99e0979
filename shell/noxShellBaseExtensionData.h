// Data offered by the clipboard or a drop, as the Qt-free documents take it:
// a bitmap and/or a list of file paths. The format helpers read the two
// formats the program accepts (file lists and bitmaps) from such an offer.
// The Qt layer (shell/qt/noxShellDataOffer.h) translates QMimeData to it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "shell/noxShellBaseExtension.h"

// A 32-bit picture: Width * Height ARGB pixels (alpha in the top byte), rows
// from the top.
struct TnoxOfferBitmap {
  int32_t Width = 0;
  int32_t Height = 0;
  std::vector<uint32_t> Pixels;
};

struct TnoxShellDataOffer {
  // True when the offer carries a file list at all (it may hold no names).
  bool HasFiles = false;
  std::vector<std::string> Files;
  std::shared_ptr<const TnoxOfferBitmap> Bitmap;
  // A bitmap format is offered but was not taken (a probe of what a paste
  // could do, which must not decode a large picture); loading needs Bitmap.
  bool BitmapOffered = false;
};

// Clipboard formats, storage media and aspects of format requests.
constexpr uint32_t CF_BITMAP = 2;
constexpr uint32_t CF_HDROP = 15;
constexpr uint32_t TYMED_HGLOBAL = 1;
constexpr uint32_t TYMED_ISTREAM = 4;
constexpr uint32_t TYMED_GDI = 16;
constexpr uint32_t DVASPECT_CONTENT = 1;

// True exactly when the offer holds the format on that medium for that aspect
// and index (-1: all).
bool DataObjectHasFormat(const TnoxShellDataOffer& AOffer, uint32_t AFormat, uint32_t AMedium,
                         uint32_t AAspect = DVASPECT_CONTENT, int32_t AIndex = -1);
// EOleSysError "Invalid medium" with E_INVALIDARG.
[[noreturn]] void RaiseInvalidMedium();
// The long form of a path. Linux has no short names, so it is the path itself.
std::string LongPathName(const std::string& APath);

class TnoxShellDataObjectFormatHelper {
public:
  virtual ~TnoxShellDataObjectFormatHelper() = default;
  static bool CanLoadFrom(const TnoxShellDataOffer&) { return false; }
  virtual void LoadFrom(const TnoxShellDataOffer&) {}
};

// The file names of a drop, in drop order. A second load appends.
class TnoxShellDataObjectHDropFormatHelper : public TnoxShellDataObjectFormatHelper {
public:
  static bool CanLoadFrom(const TnoxShellDataOffer& AOffer);
  // Raises EOleSysError DV_E_FORMATETC when the offer has no file list.
  void LoadFrom(const TnoxShellDataOffer& AOffer) override;
  std::vector<std::string>& GetFiles() { return FFiles; }

private:
  std::vector<std::string> FFiles;
};

// The offered bitmap. The helper owns it until DetachBitmap hands it over.
class TnoxShellDataObjectBitmapFormatHelper : public TnoxShellDataObjectFormatHelper {
public:
  static bool CanLoadFrom(const TnoxShellDataOffer& AOffer);
  // Drops a bitmap still held first; raises EOleSysError DV_E_FORMATETC when
  // the offer has none.
  void LoadFrom(const TnoxShellDataOffer& AOffer) override;
  const TnoxOfferBitmap* GetBitmap() const { return FBitmap.get(); }
  std::unique_ptr<TnoxOfferBitmap> DetachBitmap() { return std::move(FBitmap); }

private:
  std::unique_ptr<TnoxOfferBitmap> FBitmap;
};

// Registers a named clipboard format: the same name (letter case aside) gives
// the same id, new names ids from 0xC000 upward.
uint32_t RegisterClipboardFormat(const std::string& AName);

// The shell's named formats, registered at start-up in this order.
constexpr int ShellClipboardFormatCount = 32;
extern const char* const ShellClipboardFormatNames[ShellClipboardFormatCount];
extern const uint32_t ShellClipboardFormats[ShellClipboardFormatCount];
extern const uint32_t& CF_FILECONTENTS;
extern const uint32_t& CF_FILEDESCRIPTOR;
extern const uint32_t& CF_FILEDESCRIPTORW;
extern const uint32_t& CF_FILENAME;
extern const uint32_t& CF_FILENAMEW;
extern const uint32_t& CF_IDLIST;
