#include "shell/noxShellThemes.h"

#include <mutex>

namespace {

// One load attempt per process, as with a library that may be missing.
std::mutex GThemeLock;
bool GThemesLoaded = false;
bool GThemeLibrary = false;  // there is no visual-style library on this platform

}  // namespace

bool LoadThemeEntryPoints() {
  std::lock_guard<std::mutex> lock(GThemeLock);
  if (!GThemesLoaded) {
    GThemesLoaded = true;
    GThemeLibrary = false;
  }
  return GThemeLibrary;
}

void UnloadThemeEntryPoints() {
  std::lock_guard<std::mutex> lock(GThemeLock);
  GThemeLibrary = false;
  GThemesLoaded = false;
}

bool IsAppThemed() { return LoadThemeEntryPoints(); }
bool IsThemeActive() { return LoadThemeEntryPoints(); }

bool ThemesActive() { return LoadThemeEntryPoints() && IsThemeActive() && IsAppThemed(); }

HRESULT CloseThemeData(HTHEME) {
  LoadThemeEntryPoints();
  return noxE_NOTIMPL;
}

HRESULT DrawThemeBackground(HTHEME, void*, int32_t, int32_t, const TnoxRect&, const TnoxRect*) {
  LoadThemeEntryPoints();
  return noxE_NOTIMPL;
}

HRESULT GetThemeBackgroundContentRect(HTHEME, void*, int32_t, int32_t, const TnoxRect&, TnoxRect&) {
  LoadThemeEntryPoints();
  return noxE_NOTIMPL;
}

HRESULT GetThemeColor(HTHEME, int32_t, int32_t, int32_t, uint32_t&) {
  LoadThemeEntryPoints();
  return noxE_NOTIMPL;
}

HRESULT GetThemeMetric(HTHEME, void*, int32_t, int32_t, int32_t, int32_t&) {
  LoadThemeEntryPoints();
  return noxE_NOTIMPL;
}

HRESULT GetThemePartSize(HTHEME, void*, int32_t, int32_t, const TnoxRect*, int32_t, TnoxSize&) {
  LoadThemeEntryPoints();
  return noxE_NOTIMPL;
}

HTHEME GetWindowTheme(void*) {
  LoadThemeEntryPoints();
  return 0;
}

bool IsThemePartDefined(HTHEME, int32_t, int32_t) {
  LoadThemeEntryPoints();
  return false;
}

HTHEME OpenThemeData(void*, const std::string&) {
  LoadThemeEntryPoints();
  return 0;
}

HTHEME OpenThemeDataForDpi(void* AWnd, const std::string& AClassList, int32_t, bool AFallback) {
  LoadThemeEntryPoints();
  // The per-DPI variant is missing as well: fall back to the plain call when asked to.
  return AFallback ? OpenThemeData(AWnd, AClassList) : 0;
}
