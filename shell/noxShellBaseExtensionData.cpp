#include "shell/noxShellBaseExtensionData.h"

#include <cctype>
#include <map>
#include <mutex>

bool DataObjectHasFormat(const TnoxShellDataOffer& AOffer, uint32_t AFormat, uint32_t AMedium, uint32_t AAspect,
                         int32_t AIndex) {
  if (AAspect != DVASPECT_CONTENT || AIndex != -1) return false;
  if (AFormat == CF_HDROP) return AOffer.HasFiles && (AMedium & TYMED_HGLOBAL);
  if (AFormat == CF_BITMAP) return (AOffer.Bitmap || AOffer.BitmapOffered) && (AMedium & TYMED_GDI);
  return false;
}

void RaiseInvalidMedium() { throw EOleSysError("Invalid medium", E_INVALIDARG, 0); }

std::string LongPathName(const std::string& APath) { return APath; }

bool TnoxShellDataObjectHDropFormatHelper::CanLoadFrom(const TnoxShellDataOffer& AOffer) {
  return DataObjectHasFormat(AOffer, CF_HDROP, TYMED_HGLOBAL);
}

void TnoxShellDataObjectHDropFormatHelper::LoadFrom(const TnoxShellDataOffer& AOffer) {
  if (!CanLoadFrom(AOffer)) CheckHResult(DV_E_FORMATETC);
  for (const std::string& name : AOffer.Files)
    if (!name.empty()) FFiles.push_back(LongPathName(name));
}

bool TnoxShellDataObjectBitmapFormatHelper::CanLoadFrom(const TnoxShellDataOffer& AOffer) {
  return DataObjectHasFormat(AOffer, CF_BITMAP, TYMED_GDI);
}

void TnoxShellDataObjectBitmapFormatHelper::LoadFrom(const TnoxShellDataOffer& AOffer) {
  FBitmap.reset();
  if (!CanLoadFrom(AOffer)) CheckHResult(DV_E_FORMATETC);
  if (!AOffer.Bitmap) RaiseInvalidMedium();
  const TnoxOfferBitmap& b = *AOffer.Bitmap;
  if (b.Width < 0 || b.Height < 0 ||
      b.Pixels.size() != static_cast<uint64_t>(b.Width) * static_cast<uint64_t>(b.Height))
    RaiseInvalidMedium();
  FBitmap = std::make_unique<TnoxOfferBitmap>(b);
}

namespace {

std::mutex FormatLock;

std::map<std::string, uint32_t>& FormatRegistry() {
  static auto* m = new std::map<std::string, uint32_t>;
  return *m;
}

}  // namespace

uint32_t RegisterClipboardFormat(const std::string& AName) {
  std::string key = AName;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::lock_guard<std::mutex> l(FormatLock);
  auto& reg = FormatRegistry();
  auto it = reg.find(key);
  if (it != reg.end()) return it->second;
  const uint32_t id = 0xC000 + static_cast<uint32_t>(reg.size());
  reg.emplace(key, id);
  return id;
}

const char* const ShellClipboardFormatNames[ShellClipboardFormatCount] = {
    "Autoplay Enumerated IDList Array", "DragWindow", "DropDescription", "File Attributes Array",
    "FileContents", "FileGroupDescriptor", "FileGroupDescriptorW", "FileName",
    "FileNameMap", "FileNameMapW", "FileNameW", "FileOpFlags",
    "Shell IDList Array", "InShellDragLoop", "UniformResourceLocator", "UniformResourceLocatorW",
    "InvokeCommand DropParam", "Logical Performed DropEffect", "MountedVolume", "Net Resource",
    "Shell Object Offsets", "Paste Succeeded", "Performed DropEffect", "PersistedDataObject",
    "Preferred DropEffect", "PrinterFriendlyName", "DropHandlerCLSID", "UniformResourceLocator",
    "TargetCLSID", "UIDisplayed", "UntrustedDragDrop", "ZoneIdentifier",
};

namespace {

struct TRegisteredFormats {
  uint32_t Ids[ShellClipboardFormatCount];
  TRegisteredFormats() {
    for (int i = 0; i < ShellClipboardFormatCount; ++i) Ids[i] = RegisterClipboardFormat(ShellClipboardFormatNames[i]);
  }
};

const TRegisteredFormats& Registered() {
  static const TRegisteredFormats r;
  return r;
}

}  // namespace

// Registered in order when the library starts, whatever else reads them first.
const uint32_t (&RegisteredIds)[ShellClipboardFormatCount] = Registered().Ids;
const uint32_t ShellClipboardFormats[ShellClipboardFormatCount] = {
    RegisteredIds[0],  RegisteredIds[1],  RegisteredIds[2],  RegisteredIds[3],  RegisteredIds[4],
    RegisteredIds[5],  RegisteredIds[6],  RegisteredIds[7],  RegisteredIds[8],  RegisteredIds[9],
    RegisteredIds[10], RegisteredIds[11], RegisteredIds[12], RegisteredIds[13], RegisteredIds[14],
    RegisteredIds[15], RegisteredIds[16], RegisteredIds[17], RegisteredIds[18], RegisteredIds[19],
    RegisteredIds[20], RegisteredIds[21], RegisteredIds[22], RegisteredIds[23], RegisteredIds[24],
    RegisteredIds[25], RegisteredIds[26], RegisteredIds[27], RegisteredIds[28], RegisteredIds[29],
    RegisteredIds[30], RegisteredIds[31],
};
const uint32_t& CF_FILECONTENTS = ShellClipboardFormats[4];
const uint32_t& CF_FILEDESCRIPTOR = ShellClipboardFormats[5];
const uint32_t& CF_FILEDESCRIPTORW = ShellClipboardFormats[6];
const uint32_t& CF_FILENAME = ShellClipboardFormats[7];
const uint32_t& CF_FILENAMEW = ShellClipboardFormats[10];
const uint32_t& CF_IDLIST = ShellClipboardFormats[12];
