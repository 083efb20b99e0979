#include "shell/noxShellBaseExtensionLateBound.h"

#include <atomic>
#include <mutex>

#include "shell/noxShellFormUtils.h"

namespace {

std::mutex LoaderLock;
std::atomic<int> LoadCount{0};

struct TLibrary {
  bool Loaded = false;
  bool Present = false;
};

TLibrary User32, Shell32, WindowsCodecs;

bool Load(TLibrary& ALibrary) {
  std::lock_guard<std::mutex> l(LoaderLock);
  if (!ALibrary.Loaded) {
    ALibrary.Loaded = true;
    ++LoadCount;
    ALibrary.Present = false;  // no such library on this system
  }
  return ALibrary.Present;
}

}  // namespace

bool LoadUser32Entries() { return Load(User32); }
bool LoadShell32Entries() { return Load(Shell32); }
bool LoadWindowsCodecsEntries() { return Load(WindowsCodecs); }
int LateBoundLoadCount() { return LoadCount.load(); }

void FreeLateBoundLibraries() {
  std::lock_guard<std::mutex> l(LoaderLock);
  User32.Present = Shell32.Present = WindowsCodecs.Present = false;
}

DPI_AWARENESS_CONTEXT SetThreadDpiContext(DPI_AWARENESS_CONTEXT) {
  LoadUser32Entries();
  return nullptr;
}

DPI_AWARENESS_CONTEXT GetThreadDpiContext() {
  LoadUser32Entries();
  return nullptr;
}

bool DpiContextsEqual(DPI_AWARENESS_CONTEXT, DPI_AWARENESS_CONTEXT) {
  LoadUser32Entries();
  return false;
}

int GetWindowDpi(HWND) {
  LoadUser32Entries();
  return 96;
}

namespace {

int LayoutMetric96(int AIndex) {
  switch (AIndex) {
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
    case SM_CYVTHUMB:
    case SM_CXHTHUMB: return 17;
    case SM_CXEDGE:
    case SM_CYEDGE: return 2;
    default: return GetSystemMetrics(AIndex);
  }
}

}  // namespace

int ScaledSystemMetric(int AIndex, int) {
  LoadUser32Entries();
  return LayoutMetric96(AIndex);
}

DPI_AWARENESS_CONTEXT EnterDpiContext(DPI_AWARENESS_CONTEXT) { return nullptr; }

void RestoreDpiContext(DPI_AWARENESS_CONTEXT& ASaved) {
  if (ASaved) SetThreadDpiContext(ASaved);
  ASaved = nullptr;
}

void* ShellILCombine(PItemIDList, PItemIDList) {
  LoadShell32Entries();
  return nullptr;
}

HRESULT ShellBindToParent(PItemIDList, const TGUID*, void** AFolder, PItemIDList* ALast) {
  if (AFolder) *AFolder = nullptr;
  if (ALast) *ALast = nullptr;
  LoadShell32Entries();
  return E_NOTIMPL;
}

HRESULT ShellCreateItemFromParsingName(const char*, void*, const TGUID*, void** AItem) {
  if (AItem) *AItem = nullptr;
  LoadShell32Entries();
  return E_NOTIMPL;
}

HRESULT ShellCreateItemArrayFromDataObject(void*, const TGUID*, void** AArray) {
  if (AArray) *AArray = nullptr;
  LoadShell32Entries();
  return E_NOTIMPL;
}

HRESULT ShellGetStockIconInfo(uint32_t, uint32_t, void*) {
  LoadShell32Entries();
  return E_NOTIMPL;
}

void* BrowseForFolder(void*) {
  DPI_AWARENESS_CONTEXT saved = EnterDpiContext(reinterpret_cast<DPI_AWARENESS_CONTEXT>(-2));
  RestoreDpiContext(saved);
  return nullptr;
}
