// Micro tiles: the changed area of a buffer kept as one bounding box per
// 32 x 32-pixel tile, and the merging of finished tiles into a short list of
// rectangles to repaint.
#pragma once

#include <cstdint>

#include "bitmap/B32.h"
#include "bitmap/B32_Containers.h"

// One tile: Left in bits 24-31, Top 16-23, Right 8-15, Bottom 0-7, each
// 0..32 inside the tile, Right and Bottom exclusive. A tile whose Left equals
// its Right, or whose Top equals its Bottom, carries no area.
using TMicroTile = uint32_t;
using PMicroTile = TMicroTile*;

constexpr int32_t MicroTileShift = 5;
constexpr int32_t MicroTileSize = 32;
constexpr TMicroTile MicroTileEmpty = 0;
constexpr TMicroTile MicroTileFull = 0x00002020;

inline TMicroTile MicroTileCreate(uint32_t L, uint32_t T, uint32_t R, uint32_t B) {
  return (L << 24) | (T << 16) | (R << 8) | B;
}
inline int32_t MicroTileLeft(TMicroTile M) { return int32_t(M >> 24); }
inline int32_t MicroTileTop(TMicroTile M) { return int32_t((M >> 16) & 0xFF); }
inline int32_t MicroTileRight(TMicroTile M) { return int32_t((M >> 8) & 0xFF); }
inline int32_t MicroTileBottom(TMicroTile M) { return int32_t(M & 0xFF); }
inline bool MicroTileHasArea(TMicroTile M) {
  return MicroTileLeft(M) != MicroTileRight(M) && MicroTileTop(M) != MicroTileBottom(M);
}

// A grid of tiles over BoundsRect. Count = (Columns + 1) x (Rows + 1) tiles
// are allocated, row stride Columns; the extra ones absorb writes at column
// Columns. BoundsUsedTiles is the tile box touched since the last clear,
// inverted (Columns, Rows, 0, 0) when none is.
struct TMicroTiles {
  TRect BoundsRect;
  int32_t Columns = 0;
  int32_t Rows = 0;
  TRect BoundsUsedTiles;
  int32_t Count = 0;
  TMicroTile* Tiles = nullptr;
};
using PMicroTiles = TMicroTiles*;

// Grows Rect by Dx, Dy on every side; an inverted side grows outward too.
void InflateArea(TRect& Area, int32_t Dx, int32_t Dy);

// Dst := the union of Dst and Src (bound, "B32_MicroTiles bindings" slot 0).
using TMicroTileUnionProc = void (*)(TMicroTile& Dst, TMicroTile Src);
// Unites Count tiles of Src into Dst, tile by tile (slot 1).
using TMicroTilesUnionProc = void (*)(TMicroTile* Dst, const TMicroTile* Src, int32_t Count);
extern TMicroTileUnionProc MicroTileUnion;
extern TMicroTilesUnionProc MicroTilesUnionRow;

constexpr int32_t FID_MICROTILEUNION = 0;
constexpr int32_t FID_MICROTILESUNION = 1;

void MicroTileUnion_Pas(TMicroTile& Dst, TMicroTile Src);
void MicroTilesUnion_Pas(TMicroTile* Dst, const TMicroTile* Src, int32_t Count);

// A zeroed set without memory.
void MicroTilesCreate(TMicroTiles& Tiles);
// Frees the tile memory and zeroes the set.
void MicroTilesDestroy(TMicroTiles& Tiles);
void MicroTilesSetSize(TMicroTiles& Tiles, const TRect& DstRect);
void MicroTilesClear(TMicroTiles& Tiles, TMicroTile Value = MicroTileEmpty);
void MicroTilesClearUsed(TMicroTiles& Tiles, TMicroTile Value = MicroTileEmpty);
void MicroTilesCopy(TMicroTiles& DstTiles, const TMicroTiles& SrcTiles);
void MicroTilesAddLine(TMicroTiles& Tiles, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t LineWidth,
                       bool RoundToWholeTiles = false);
void MicroTilesAddRect(TMicroTiles& Tiles, TRect Rect, bool RoundToWholeTiles = false);
void MicroTilesUnion(TMicroTiles& DstTiles, const TMicroTiles& SrcTiles, bool RoundToWholeTiles = false);
// The merged rectangles of the set, clipped to BoundsRect; appended to Rects
// unless CountOnly (Rects may then be nil). Returns their number.
int32_t MicroTilesCalcRects(const TMicroTiles& Tiles, TRectBuffer* Rects, bool CountOnly = false);

void B32_MicroTiles_Initialize();
