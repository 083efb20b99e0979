// Repaint optimisation: watches the layers drawn onto a back buffer and works
// out which rectangles of the buffer must be repainted, through micro tiles.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "bitmap/B32.h"
#include "bitmap/B32_Containers.h"
#include "bitmap/B32_MicroTiles.h"
#include "bitmap/B32_System.h"

// An area whose Info has this bit is a line; the low 24 bits are its width.
constexpr uint32_t AREA_INFO_LINE = 0x40000000u;
// A layer's "invalid" flag in its option word.
constexpr uint32_t LOB_INVALID = 0x04000000u;

// List notifications.
enum : int32_t { lnLayerAdded = 0, lnLayerInserted = 1, lnLayerDeleted = 2, lnCleared = 3 };

// What the optimizer needs of a layer: painting onto the buffer (the layer
// runs its own after-paint step) and an option word.
class TRepaintLayer {
public:
  virtual ~TRepaintLayer() = default;
  virtual void Paint(TBitmap32* Buffer) = 0;
  uint32_t LayerOptions = 0;
};

using TLayerListNotifyEvent = std::function<void(TObject* Sender, int32_t Action, TRepaintLayer* Layer)>;
using TLayerUpdateEvent = std::function<void(TObject* Sender, TRepaintLayer* Layer)>;

// What the optimizer needs of a layer list: its layers and three events.
class TRepaintLayerList : public TObject {
public:
  virtual int32_t GetCount() const = 0;
  virtual TRepaintLayer* GetItem(int32_t Index) const = 0;
  TLayerListNotifyEvent OnListNotify;
  TLayerUpdateEvent OnLayerUpdated;
  TAreaChangedEvent OnAreaUpdated;
};

class TCustomRepaintOptimizer : public TObject {
public:
  TCustomRepaintOptimizer(TBitmap32* Buffer, TRectBuffer* InvalidRects);
  // Unregisters every layer list.
  ~TCustomRepaintOptimizer() override;

  virtual bool GetEnabled() const { return FEnabled; }
  virtual void SetEnabled(bool Value) { FEnabled = Value; }
  virtual void LayerListNotify(TObject* Sender, int32_t Action, TRepaintLayer* Layer) = 0;
  virtual void RegisterLayerList(TRepaintLayerList* List);
  virtual void UnregisterLayerList(TRepaintLayerList* List);
  virtual void BeginPaint() {}
  virtual void EndPaint() {}
  virtual void BeginPaintBuffer() {}
  virtual void EndPaintBuffer() {}
  virtual void Reset() = 0;
  virtual bool UpdatesAvailable() = 0;
  virtual void PerformOptimization() = 0;
  virtual void AreaUpdateHandler(TObject* Sender, const TRect& Area, uint32_t Info) = 0;
  virtual void LayerUpdateHandler(TObject* Sender, TRepaintLayer* Layer) = 0;
  virtual void BufferResizedHandler(int32_t NewWidth, int32_t NewHeight) = 0;

  TBitmap32* GetBuffer() const { return FBuffer; }
  TRectBuffer* GetInvalidRects() const { return FInvalidRects; }
  const std::vector<TRepaintLayerList*>& GetLayerLists() const { return FLayerLists; }

protected:
  void UnregisterAll();

  bool FEnabled = false;
  std::vector<TRepaintLayerList*> FLayerLists;
  TRectBuffer* FInvalidRects = nullptr;
  TBitmap32* FBuffer = nullptr;
};

// Maps a layer to its own tile set (its "old" tiles); a missing layer is
// added with a zeroed set, and removing one frees its tiles.
class TMicroTilesMap : public TPointerMap {
public:
  ~TMicroTilesMap() override;
  TMicroTiles& GetData(TRepaintLayer* Item);
  void Remove(TRepaintLayer* Item);
  void RemoveAll();

protected:
  void* Delete(int32_t BucketIndex, int32_t ItemIndex) override;
};

class TMicroTilesRepaintOptimizer : public TCustomRepaintOptimizer {
public:
  TMicroTilesRepaintOptimizer(TBitmap32* Buffer, TRectBuffer* InvalidRects);
  ~TMicroTilesRepaintOptimizer() override;

  void SetEnabled(bool Value) override;
  void LayerListNotify(TObject* Sender, int32_t Action, TRepaintLayer* Layer) override;
  void RegisterLayerList(TRepaintLayerList* List) override;
  void UnregisterLayerList(TRepaintLayerList* List) override;
  void BeginPaintBuffer() override;
  void EndPaintBuffer() override;
  void Reset() override;
  bool UpdatesAvailable() override;
  void PerformOptimization() override;
  void AreaUpdateHandler(TObject* Sender, const TRect& Area, uint32_t Info) override;
  void LayerUpdateHandler(TObject* Sender, TRepaintLayer* Layer) override;
  void BufferResizedHandler(int32_t NewWidth, int32_t NewHeight) override;

  bool GetAdaptiveMode() const { return FAdaptiveMode; }
  void SetAdaptiveMode(bool Value) { FAdaptiveMode = Value; }
  int32_t GetPerformanceLevel() const { return FPerformanceLevel; }
  const TMicroTiles& GetInvalidTiles() const { return FInvalidTiles; }
  const TMicroTiles& GetForcedInvalidTiles() const { return FForcedInvalidTiles; }

  // The paint-time record of EndPaintBuffer with a given elapsed time (the
  // timer's reading in the program).
  void RecordPaintTime(int64_t T);
  // The check at the end of PerformOptimization, at a given tick count.
  void CheckAdaption(uint32_t Ticks);

protected:
  void HookList(TRepaintLayerList* List);
  void UnhookList(TRepaintLayerList* List);
  void ValidateWorkingTiles();
  void MeasureLayers();
  void DrawLayerToMicroTiles(TMicroTiles& Tiles, TRepaintLayer* Layer);
  void AddArea(TMicroTiles& Tiles, const TRect& Area, uint32_t Info);
  void ResetAdaptiveMode();

  TMicroTiles FTempTiles;
  TMicroTiles FInvalidTiles;
  TMicroTiles FForcedInvalidTiles;
  TMicroTiles* FWorkingTiles = nullptr;
  TRect FBufferBounds;
  std::vector<TRepaintLayer*> FChangedLayers;
  TMicroTilesMap FOldTiles;
  TPerfTimer FTimer;
  bool FTilesSized = false;
  bool FLayersMeasured = false;
  bool FHasUpdates = false;
  bool FAdaptiveMode = true;
  int32_t FPerformanceLevel = 0;
  int64_t FFullSceneTime = 0;
  int64_t FLastRepaintTime = 0;
  int64_t FLastPenaltyTime = 0;
  bool FAdaptionFailed = false;
  bool FTimedCheck = false;
  int32_t FTimeDelta = 1000;
  uint32_t FNextCheck = 0;
  int32_t FOldInvalidRectsCount = 0;
};
