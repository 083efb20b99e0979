// Text as outline paths: glyph outlines from the font machinery, laid out in
// a rectangle with alignment, word wrapping and vertical placement, written
// into a flattened path.
#pragma once

#include <QFont>
#include <QRawFont>

#include <cstdint>
#include <string>

#include "bitmap/B32.h"

class TCustomPath;

// Layout flags (the window-text bits).
constexpr uint32_t DT_CENTER = 0x1;
constexpr uint32_t DT_RIGHT = 0x2;
constexpr uint32_t DT_JUSTIFY = 0x3;
constexpr uint32_t DT_VCENTER = 0x4;
constexpr uint32_t DT_BOTTOM = 0x8;
constexpr uint32_t DT_WORDBREAK = 0x10;
constexpr uint32_t DT_SINGLELINE = 0x20;
constexpr uint32_t DT_NOCLIP = 0x100;

// Hinting: 0 unhinted outlines; 1 hinted with a 16-fold horizontal stretch
// while laying out; other values hinted without stretch.
void SetHinting(int32_t Value);
bool GetUseHinting();
int32_t GetHorzStretch();

struct TGlyphMetrics32 {
  int32_t CellIncX = 0;  // the advance, stretched
};

// Places the outline of Glyph with its origin at (X, Y) (Y the baseline).
// True when X + the advance <= MaxX; only then, and only with a path, is the
// outline written (each contour a closed sub-path).
bool GlyphOutlineToPath(const QRawFont& Font, TCustomPath* Path, float X, float MaxX, float Y, char16_t Glyph,
                        TGlyphMetrics32& Metrics);

void TextToPath(const QFont& Font, TCustomPath* Path, const TFloatRect& ARect, const std::string& Text,
                uint32_t Flags);
// The rectangle the laid-out text takes: from ARect's top-left to the widest
// line and the last line's bottom, each edge rounded to a whole number.
TFloatRect MeasureText(const QFont& Font, const TFloatRect& ARect, const std::string& Text, uint32_t Flags);
