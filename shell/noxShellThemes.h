// Visual-style access. This platform has no visual-style engine, so every
// entry point answers "not available" and the whole library draws classically.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/KvSysUtils.h"

using HTHEME = intptr_t;  // 0 = no theme

constexpr HRESULT noxE_NOTIMPL = static_cast<HRESULT>(0x80004001u);

// A window rectangle: right and bottom are exclusive.
struct TnoxRect {
  int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
  constexpr int32_t Width() const { return Right - Left; }
  constexpr int32_t Height() const { return Bottom - Top; }
  constexpr bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
  friend constexpr bool operator==(const TnoxRect&, const TnoxRect&) = default;
};

constexpr TnoxRect noxRect(int32_t l, int32_t t, int32_t r, int32_t b) { return {l, t, r, b}; }
constexpr TnoxRect noxBounds(int32_t l, int32_t t, int32_t w, int32_t h) { return {l, t, l + w, t + h}; }

struct TnoxSize {
  int32_t Width = 0, Height = 0;
  friend constexpr bool operator==(const TnoxSize&, const TnoxSize&) = default;
};

// Resolves the entry points once per process. Returns whether the library is loaded.
bool LoadThemeEntryPoints();
void UnloadThemeEntryPoints();

bool ThemesActive();

HRESULT CloseThemeData(HTHEME ATheme);
HRESULT DrawThemeBackground(HTHEME ATheme, void* ADC, int32_t APart, int32_t AState, const TnoxRect& ARect,
                            const TnoxRect* AClip);
HRESULT GetThemeBackgroundContentRect(HTHEME ATheme, void* ADC, int32_t APart, int32_t AState,
                                      const TnoxRect& ARect, TnoxRect& AContent);
HRESULT GetThemeColor(HTHEME ATheme, int32_t APart, int32_t AState, int32_t AProp, uint32_t& AColor);
HRESULT GetThemeMetric(HTHEME ATheme, void* ADC, int32_t APart, int32_t AState, int32_t AProp, int32_t& AValue);
HRESULT GetThemePartSize(HTHEME ATheme, void* ADC, int32_t APart, int32_t AState, const TnoxRect* ARect,
                         int32_t ASizeKind, TnoxSize& ASize);
HTHEME GetWindowTheme(void* AWnd);
bool IsAppThemed();
bool IsThemeActive();
bool IsThemePartDefined(HTHEME ATheme, int32_t APart, int32_t AState);
HTHEME OpenThemeData(void* AWnd, const std::string& AClassList);
HTHEME OpenThemeDataForDpi(void* AWnd, const std::string& AClassList, int32_t ADpi, bool AFallback);
