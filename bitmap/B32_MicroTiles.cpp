#include "bitmap/B32_MicroTiles.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "bitmap/B32_Bindings.h"
#include "bitmap/B32_LowLevel.h"
#include "bitmap/B32_Math.h"

TMicroTileUnionProc MicroTileUnion = nullptr;
TMicroTilesUnionProc MicroTilesUnionRow = nullptr;

void InflateArea(TRect& Area, int32_t Dx, int32_t Dy) {
  if (Area.Right < Area.Left) Dx = -Dx;
  if (Area.Bottom < Area.Top) Dy = -Dy;
  Area.Left -= Dx;
  Area.Top -= Dy;
  Area.Right += Dx;
  Area.Bottom += Dy;
}

void MicroTileUnion_Pas(TMicroTile& Dst, TMicroTile Src) {
  if (Dst == MicroTileFull || Src == MicroTileEmpty || !MicroTileHasArea(Src)) return;
  if (Dst == MicroTileEmpty || Src == MicroTileFull) {
    Dst = Src;
    return;
  }
  Dst = MicroTileCreate(uint32_t(std::min(MicroTileLeft(Dst), MicroTileLeft(Src))),
                        uint32_t(std::min(MicroTileTop(Dst), MicroTileTop(Src))),
                        uint32_t(std::max(MicroTileRight(Dst), MicroTileRight(Src))),
                        uint32_t(std::max(MicroTileBottom(Dst), MicroTileBottom(Src))));
}

void MicroTilesUnion_Pas(TMicroTile* Dst, const TMicroTile* Src, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) MicroTileUnion(Dst[i], Src[i]);
}

namespace {
TRect InvertedUsedBox(const TMicroTiles& T) { return TRect{T.Columns, T.Rows, 0, 0}; }

void GrowUsed(TRect& Used, const TRect& Box) {
  Used.Left = std::min(Used.Left, Box.Left);
  Used.Top = std::min(Used.Top, Box.Top);
  Used.Right = std::max(Used.Right, Box.Right);
  Used.Bottom = std::max(Used.Bottom, Box.Bottom);
}

bool UsedBoxEmpty(const TMicroTiles& T) {
  return T.BoundsUsedTiles.Right < T.BoundsUsedTiles.Left || T.BoundsUsedTiles.Bottom < T.BoundsUsedTiles.Top;
}

void Reallocate(TMicroTiles& T, int32_t NewCount) {
  if (NewCount <= 0) {
    std::free(T.Tiles);
    T.Tiles = nullptr;
    return;
  }
  void* p = std::realloc(T.Tiles, size_t(NewCount) * sizeof(TMicroTile));
  if (!p) throw EOutOfMemory("Out of memory");
  T.Tiles = static_cast<TMicroTile*>(p);
}
}  // namespace

void MicroTilesCreate(TMicroTiles& Tiles) { Tiles = TMicroTiles{}; }

void MicroTilesDestroy(TMicroTiles& Tiles) {
  std::free(Tiles.Tiles);
  Tiles = TMicroTiles{};
}

void MicroTilesSetSize(TMicroTiles& Tiles, const TRect& DstRect) {
  Tiles.BoundsRect = DstRect;
  Tiles.Columns = (std::max(DstRect.Width(), 0) >> MicroTileShift) + 1;
  Tiles.Rows = (std::max(DstRect.Height(), 0) >> MicroTileShift) + 1;
  const int64_t count = (int64_t(Tiles.Columns) + 1) * (int64_t(Tiles.Rows) + 1);
  if (count > 0x7FFFFFFF / int64_t(sizeof(TMicroTile))) throw EOutOfMemory("Out of memory");
  Tiles.Count = int32_t(count);
  Reallocate(Tiles, Tiles.Count);
  MicroTilesClear(Tiles, MicroTileEmpty);
}

void MicroTilesClear(TMicroTiles& Tiles, TMicroTile Value) {
  Tiles.BoundsUsedTiles = InvertedUsedBox(Tiles);
  if (Tiles.Count > 0 && Tiles.Tiles) FillLongword(Tiles.Tiles, Tiles.Count, Value);
}

void MicroTilesClearUsed(TMicroTiles& Tiles, TMicroTile Value) {
  if (Tiles.Tiles && !UsedBoxEmpty(Tiles)) {
    const TRect& u = Tiles.BoundsUsedTiles;
    const int32_t w = u.Right - u.Left + 1;
    for (int32_t row = u.Top; row <= u.Bottom; ++row)
      FillLongword(Tiles.Tiles + intptr_t(row) * Tiles.Columns + u.Left, w, Value);
  }
  Tiles.BoundsUsedTiles = InvertedUsedBox(Tiles);
}

void MicroTilesCopy(TMicroTiles& DstTiles, const TMicroTiles& SrcTiles) {
  if (DstTiles.Count > 0 && DstTiles.Tiles) MicroTilesClearUsed(DstTiles);
  const int32_t oldCount = DstTiles.Tiles ? DstTiles.Count : 0;
  DstTiles.BoundsRect = SrcTiles.BoundsRect;
  DstTiles.Columns = SrcTiles.Columns;
  DstTiles.Rows = SrcTiles.Rows;
  DstTiles.BoundsUsedTiles = SrcTiles.BoundsUsedTiles;
  DstTiles.Count = SrcTiles.Count;
  if (SrcTiles.Count > oldCount) {
    Reallocate(DstTiles, SrcTiles.Count);
    std::memset(DstTiles.Tiles + oldCount, 0, size_t(SrcTiles.Count - oldCount) * sizeof(TMicroTile));
  }
  if (!SrcTiles.Tiles || UsedBoxEmpty(SrcTiles)) return;
  const TRect& u = SrcTiles.BoundsUsedTiles;
  const int32_t w = u.Right - u.Left + 1;
  for (int32_t row = u.Top; row <= u.Bottom; ++row) {
    const intptr_t at = intptr_t(row) * SrcTiles.Columns + u.Left;
    std::memcpy(DstTiles.Tiles + at, SrcTiles.Tiles + at, size_t(w) * sizeof(TMicroTile));
  }
}

void MicroTilesAddRect(TMicroTiles& Tiles, TRect Rect, bool RoundToWholeTiles) {
  if (Rect.Right < Rect.Left) std::swap(Rect.Left, Rect.Right);
  if (Rect.Bottom < Rect.Top) std::swap(Rect.Top, Rect.Bottom);
  if (Tiles.Count == 0 || !Tiles.Tiles) return;
  Rect.Left = std::max(Rect.Left, 0);
  Rect.Top = std::max(Rect.Top, 0);
  Rect.Right = std::min(Rect.Right, Tiles.Columns * MicroTileSize);
  Rect.Bottom = std::min(Rect.Bottom, Tiles.Rows * MicroTileSize);
  if (Rect.Right < Rect.Left || Rect.Bottom < Rect.Top) return;

  const int32_t TL = Rect.Left >> MicroTileShift, TT = Rect.Top >> MicroTileShift;
  const int32_t TR = Rect.Right >> MicroTileShift, TB = Rect.Bottom >> MicroTileShift;
  auto tile = [&](int32_t col, int32_t row) -> TMicroTile& {
    return Tiles.Tiles[intptr_t(row) * Tiles.Columns + col];
  };

  if (RoundToWholeTiles) {
    for (int32_t row = TT; row <= TB; ++row)
      for (int32_t col = TL; col <= TR; ++col) tile(col, row) = MicroTileFull;
  } else {
    const uint32_t l = uint32_t(Rect.Left % MicroTileSize), t = uint32_t(Rect.Top % MicroTileSize);
    const uint32_t r = uint32_t(Rect.Right % MicroTileSize), b = uint32_t(Rect.Bottom % MicroTileSize);
    const uint32_t S = MicroTileSize;
    if (TL == TR && TT == TB) {
      MicroTileUnion(tile(TL, TT), MicroTileCreate(l, t, r, b));
    } else if (TL == TR) {
      MicroTileUnion(tile(TL, TT), MicroTileCreate(l, t, r, S));
      for (int32_t row = TT + 1; row < TB; ++row) MicroTileUnion(tile(TL, row), MicroTileCreate(l, 0, r, S));
      MicroTileUnion(tile(TL, TB), MicroTileCreate(l, 0, r, b));
    } else if (TT == TB) {
      MicroTileUnion(tile(TL, TT), MicroTileCreate(l, t, S, b));
      for (int32_t col = TL + 1; col < TR; ++col) MicroTileUnion(tile(col, TT), MicroTileCreate(0, t, S, b));
      MicroTileUnion(tile(TR, TT), MicroTileCreate(0, t, r, b));
    } else {
      MicroTileUnion(tile(TL, TT), MicroTileCreate(l, t, S, S));
      MicroTileUnion(tile(TR, TT), MicroTileCreate(0, t, r, S));
      MicroTileUnion(tile(TL, TB), MicroTileCreate(l, 0, S, b));
      MicroTileUnion(tile(TR, TB), MicroTileCreate(0, 0, r, b));
      for (int32_t col = TL + 1; col < TR; ++col) {
        MicroTileUnion(tile(col, TT), MicroTileCreate(0, t, S, S));
        MicroTileUnion(tile(col, TB), MicroTileCreate(0, 0, S, b));
      }
      for (int32_t row = TT + 1; row < TB; ++row) {
        MicroTileUnion(tile(TL, row), MicroTileCreate(l, 0, S, S));
        MicroTileUnion(tile(TR, row), MicroTileCreate(0, 0, r, S));
        for (int32_t col = TL + 1; col < TR; ++col) tile(col, row) = MicroTileFull;
      }
    }
  }
  GrowUsed(Tiles.BoundsUsedTiles, TRect{TL, TT, TR, TB});
}

void MicroTilesAddLine(TMicroTiles& Tiles, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t LineWidth,
                       bool RoundToWholeTiles) {
  const int32_t W = 2 * LineWidth;
  if (X2 == X1 || Y2 == Y1) {
    TRect r{X1, Y1, X2, Y2};
    InflateArea(r, W, W);
    MicroTilesAddRect(Tiles, r, RoundToWholeTiles);
    return;
  }
  const int64_t dx = int64_t(X2) - X1, dy = int64_t(Y2) - Y1;
  const bool xMajor = std::llabs(dx) > std::llabs(dy);
  const int64_t major = xMajor ? std::llabs(dx) : std::llabs(dy);
  const int64_t minor = xMajor ? dy : dx;
  // Whole steps of one tile along the major axis, in 16.16.
  const int64_t quotient = (major << 16) / MicroTileSize;
  const int64_t steps = (quotient + 0xFFFF) >> 16;
  const int64_t minorStep = (minor * 65536 * 65536) / quotient;
  const int64_t majorStep = int64_t((xMajor ? dx : dy) < 0 ? -MicroTileSize : MicroTileSize) << 16;
  const int64_t stepX = xMajor ? majorStep : minorStep, stepY = xMajor ? minorStep : majorStep;
  int64_t x = int64_t(X1) << 16, y = int64_t(Y1) << 16;
  for (int64_t i = 0; i < steps; ++i) {
    const int64_t nx = x + stepX, ny = y + stepY;
    TRect r = MakeRect(FixedRect(TFixed(x), TFixed(y), TFixed(nx), TFixed(ny)), rrClosest);
    InflateArea(r, W, W);
    MicroTilesAddRect(Tiles, r, RoundToWholeTiles);
    x = nx;
    y = ny;
  }
}

void MicroTilesUnion(TMicroTiles& DstTiles, const TMicroTiles& SrcTiles, bool RoundToWholeTiles) {
  if (SrcTiles.Count == 0 || !SrcTiles.Tiles) return;
  if (!DstTiles.Tiles || UsedBoxEmpty(SrcTiles)) {
    if (!UsedBoxEmpty(SrcTiles)) GrowUsed(DstTiles.BoundsUsedTiles, SrcTiles.BoundsUsedTiles);
    return;
  }
  const TRect& u = SrcTiles.BoundsUsedTiles;
  const int32_t w = u.Right - u.Left + 1;
  for (int32_t row = u.Top; row <= u.Bottom; ++row) {
    TMicroTile* d = DstTiles.Tiles + intptr_t(row) * DstTiles.Columns + u.Left;
    const TMicroTile* s = SrcTiles.Tiles + intptr_t(row) * SrcTiles.Columns + u.Left;
    if (RoundToWholeTiles) {
      for (int32_t i = 0; i < w; ++i)
        if (d[i] != MicroTileFull && s[i] != MicroTileEmpty && MicroTileHasArea(s[i])) d[i] = MicroTileFull;
    } else {
      MicroTilesUnionRow(d, s, w);
    }
  }
  GrowUsed(DstTiles.BoundsUsedTiles, u);
}

int32_t MicroTilesCalcRects(const TMicroTiles& Tiles, TRectBuffer* Rects, bool CountOnly) {
  if (Tiles.Count == 0 || !Tiles.Tiles || UsedBoxEmpty(Tiles)) return 0;
  const TRect& clip = Tiles.BoundsRect;
  const int32_t cols = Tiles.Columns, rows = Tiles.Rows;
  std::vector<TRect> found;
  // Per tile, the rectangle begun in the row above that may grow down into it.
  std::vector<int32_t> above(size_t(cols) * size_t(rows), -1);
  auto clampX = [&](int32_t v) { return std::clamp(v, clip.Left, std::max(clip.Left, clip.Right)); };
  auto clampY = [&](int32_t v) { return std::clamp(v, clip.Top, std::max(clip.Top, clip.Bottom)); };
  for (int32_t row = 0; row < rows; ++row) {
    int32_t col = 0;
    while (col < cols) {
      const int32_t start = row * cols + col;
      const TMicroTile cur = Tiles.Tiles[start];
      if (cur != MicroTileEmpty) {
        const int32_t py = row << MicroTileShift;
        const int32_t top = clampY(py + MicroTileTop(cur)), bottom = clampY(py + MicroTileBottom(cur));
        const int32_t left = clampX((col << MicroTileShift) + MicroTileLeft(cur));
        if (MicroTileRight(cur) == MicroTileSize && col != cols - 1) {
          while (col + 1 < cols) {
            const TMicroTile next = Tiles.Tiles[row * cols + col + 1];
            if (MicroTileTop(next) != MicroTileTop(cur) || MicroTileBottom(next) != MicroTileBottom(cur) ||
                MicroTileLeft(next) != 0)
              break;
            ++col;
          }
        }
        const int32_t right = clampX((col << MicroTileShift) + MicroTileRight(Tiles.Tiles[row * cols + col]));
        const int32_t ref = above[size_t(start)];
        int32_t mine;
        if (ref >= 0 && found[size_t(ref)].Left == left && found[size_t(ref)].Right == right &&
            found[size_t(ref)].Bottom == top) {
          found[size_t(ref)].Bottom = bottom;
          mine = ref;
        } else {
          found.push_back(TRect{left, top, right, bottom});
          mine = int32_t(found.size()) - 1;
        }
        if (row + 1 < rows) above[size_t(start + cols)] = mine;
      }
      ++col;
    }
  }
  if (!CountOnly && Rects)
    for (const TRect& r : found) Rects->Add(r);
  return int32_t(found.size());
}

void B32_MicroTiles_Initialize() {
  TFunctionRegistry* r = CreateRegistry("B32_MicroTiles bindings");
  r->AddBinding(FID_MICROTILEUNION, &MicroTileUnion);
  r->AddBinding(FID_MICROTILESUNION, &MicroTilesUnionRow);
  r->AddImplementation(FID_MICROTILEUNION, MicroTileUnion_Pas);
  r->AddImplementation(FID_MICROTILESUNION, MicroTilesUnion_Pas);
  r->RebindAll();
}
