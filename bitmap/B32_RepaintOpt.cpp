#include "bitmap/B32_RepaintOpt.h"

#include <algorithm>

TCustomRepaintOptimizer::TCustomRepaintOptimizer(TBitmap32* Buffer, TRectBuffer* InvalidRects)
    : FInvalidRects(InvalidRects), FBuffer(Buffer) {}

TCustomRepaintOptimizer::~TCustomRepaintOptimizer() { UnregisterAll(); }

void TCustomRepaintOptimizer::UnregisterAll() {
  while (!FLayerLists.empty()) UnregisterLayerList(FLayerLists.back());
}

void TCustomRepaintOptimizer::RegisterLayerList(TRepaintLayerList* List) {
  if (!List || std::find(FLayerLists.begin(), FLayerLists.end(), List) != FLayerLists.end()) return;
  FLayerLists.push_back(List);
  List->OnListNotify = [this](TObject* S, int32_t A, TRepaintLayer* L) { LayerListNotify(S, A, L); };
}

void TCustomRepaintOptimizer::UnregisterLayerList(TRepaintLayerList* List) {
  auto it = std::find(FLayerLists.begin(), FLayerLists.end(), List);
  if (it == FLayerLists.end()) return;
  List->OnListNotify = nullptr;
  FLayerLists.erase(it);
}

// ---------------------------------------------------------------------------

// Frees every record while this class's Delete still runs.
TMicroTilesMap::~TMicroTilesMap() { RemoveAll(); }

void TMicroTilesMap::RemoveAll() {
  TPointerMapIterator it(*this);
  std::vector<void*> items;
  while (it.Next()) items.push_back(it.GetItem());
  for (void* i : items) Remove(static_cast<TRepaintLayer*>(i));
}

TMicroTiles& TMicroTilesMap::GetData(TRepaintLayer* Item) {
  bool isNew = false;
  void** slot = Add(Item, isNew);
  if (isNew || !*slot) {
    auto* t = new TMicroTiles;
    MicroTilesCreate(*t);
    *slot = t;
  }
  return *static_cast<TMicroTiles*>(*slot);
}

void TMicroTilesMap::Remove(TRepaintLayer* Item) {
  int32_t b = 0, i = 0;
  if (Find(Item, b, i)) Delete(b, i);
}

void* TMicroTilesMap::Delete(int32_t BucketIndex, int32_t ItemIndex) {
  auto* t = static_cast<TMicroTiles*>(TPointerMap::Delete(BucketIndex, ItemIndex));
  if (t) {
    MicroTilesDestroy(*t);
    delete t;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------

TMicroTilesRepaintOptimizer::TMicroTilesRepaintOptimizer(TBitmap32* Buffer, TRectBuffer* InvalidRects)
    : TCustomRepaintOptimizer(Buffer, InvalidRects) {
  MicroTilesCreate(FTempTiles);
  MicroTilesCreate(FInvalidTiles);
  MicroTilesCreate(FForcedInvalidTiles);
}

TMicroTilesRepaintOptimizer::~TMicroTilesRepaintOptimizer() {
  UnregisterAll();
  MicroTilesDestroy(FForcedInvalidTiles);
  MicroTilesDestroy(FInvalidTiles);
  MicroTilesDestroy(FTempTiles);
}

void TMicroTilesRepaintOptimizer::HookList(TRepaintLayerList* List) {
  List->OnListNotify = [this](TObject* S, int32_t A, TRepaintLayer* L) { LayerListNotify(S, A, L); };
  List->OnLayerUpdated = [this](TObject* S, TRepaintLayer* L) { LayerUpdateHandler(S, L); };
  List->OnAreaUpdated = [this](TObject* S, const TRect& A, uint32_t I) { AreaUpdateHandler(S, A, I); };
}

void TMicroTilesRepaintOptimizer::UnhookList(TRepaintLayerList* List) {
  List->OnListNotify = nullptr;
  List->OnLayerUpdated = nullptr;
  List->OnAreaUpdated = nullptr;
}

void TMicroTilesRepaintOptimizer::RegisterLayerList(TRepaintLayerList* List) {
  TCustomRepaintOptimizer::RegisterLayerList(List);
  if (List && FEnabled) HookList(List);
}

void TMicroTilesRepaintOptimizer::UnregisterLayerList(TRepaintLayerList* List) {
  if (List) UnhookList(List);
  TCustomRepaintOptimizer::UnregisterLayerList(List);
}

void TMicroTilesRepaintOptimizer::SetEnabled(bool Value) {
  if (Value == FEnabled) return;
  if (Value) {
    for (TRepaintLayerList* l : FLayerLists) HookList(l);
    FEnabled = true;
    if (FBuffer) BufferResizedHandler(FBuffer->GetWidth(), FBuffer->GetHeight());
  } else {
    for (TRepaintLayerList* l : FLayerLists) UnhookList(l);
    MicroTilesDestroy(FInvalidTiles);
    MicroTilesDestroy(FForcedInvalidTiles);
    MicroTilesDestroy(FTempTiles);
    FTilesSized = false;
    FHasUpdates = false;
    FLayersMeasured = false;
    FOldTiles.RemoveAll();
    FChangedLayers.clear();
  }
  FEnabled = Value;
}

void TMicroTilesRepaintOptimizer::BufferResizedHandler(int32_t NewWidth, int32_t NewHeight) {
  FBufferBounds = TRect{0, 0, NewWidth, NewHeight};
  Reset();
}

void TMicroTilesRepaintOptimizer::Reset() {
  FTilesSized = false;
  FLayersMeasured = false;
  MeasureLayers();
  MicroTilesClear(FForcedInvalidTiles, MicroTileFull);
  FForcedInvalidTiles.BoundsUsedTiles =
      TRect{0, 0, FForcedInvalidTiles.Columns - 1, FForcedInvalidTiles.Rows - 1};
  FHasUpdates = true;
}

void TMicroTilesRepaintOptimizer::ValidateWorkingTiles() {
  if (FTilesSized) return;
  MicroTilesSetSize(FTempTiles, FBufferBounds);
  MicroTilesSetSize(FInvalidTiles, FBufferBounds);
  MicroTilesSetSize(FForcedInvalidTiles, FBufferBounds);
  FTilesSized = true;
}

void TMicroTilesRepaintOptimizer::MeasureLayers() {
  if (FLayersMeasured) return;
  ValidateWorkingTiles();
  for (TRepaintLayerList* list : FLayerLists)
    for (int32_t i = 0; i < list->GetCount(); ++i) {
      TRepaintLayer* layer = list->GetItem(i);
      TMicroTiles& old = FOldTiles.GetData(layer);
      MicroTilesSetSize(old, FBufferBounds);
      DrawLayerToMicroTiles(old, layer);
      layer->LayerOptions &= ~LOB_INVALID;
    }
  FChangedLayers.clear();
  FLayersMeasured = true;
  FHasUpdates = false;
}

void TMicroTilesRepaintOptimizer::AddArea(TMicroTiles& Tiles, const TRect& Area, uint32_t Info) {
  const bool whole = FPerformanceLevel > 0;
  if (Info & AREA_INFO_LINE) {
    const int32_t w = int32_t(Info & 0xFFFFFF);
    TRect r = Area;
    InflateArea(r, w, w);
    MicroTilesAddLine(Tiles, r.Left, r.Top, r.Right, r.Bottom, w, whole);
  } else {
    MicroTilesAddRect(Tiles, Area, whole);
  }
}

void TMicroTilesRepaintOptimizer::DrawLayerToMicroTiles(TMicroTiles& Tiles, TRepaintLayer* Layer) {
  if (!FBuffer) return;
  FWorkingTiles = &Tiles;
  FBuffer->StartMeasuring([this](TObject*, const TRect& Area, uint32_t Info) {
    if (FWorkingTiles) AddArea(*FWorkingTiles, Area, Info);
  });
  try {
    Layer->Paint(FBuffer);
  } catch (...) {
    FBuffer->StopMeasuring();
    FWorkingTiles = nullptr;
    throw;
  }
  FBuffer->StopMeasuring();
  FWorkingTiles = nullptr;
}

void TMicroTilesRepaintOptimizer::AreaUpdateHandler(TObject*, const TRect& Area, uint32_t Info) {
  ValidateWorkingTiles();
  AddArea(FForcedInvalidTiles, Area, Info);
  FHasUpdates = true;
}

void TMicroTilesRepaintOptimizer::LayerUpdateHandler(TObject*, TRepaintLayer* Layer) {
  if (FLayersMeasured && !(Layer->LayerOptions & LOB_INVALID)) {
    FChangedLayers.push_back(Layer);
    Layer->LayerOptions |= LOB_INVALID;
    FHasUpdates = true;
  }
}

void TMicroTilesRepaintOptimizer::LayerListNotify(TObject*, int32_t Action, TRepaintLayer* Layer) {
  switch (Action) {
    case lnLayerAdded:
    case lnLayerInserted:
      MicroTilesSetSize(FOldTiles.GetData(Layer), FBufferBounds);
      break;
    case lnLayerDeleted:
      if (FLayersMeasured) {
        ValidateWorkingTiles();
        MicroTilesUnion(FInvalidTiles, FOldTiles.GetData(Layer));
        FHasUpdates = true;
      }
      FChangedLayers.erase(std::remove(FChangedLayers.begin(), FChangedLayers.end(), Layer), FChangedLayers.end());
      FOldTiles.Remove(Layer);
      return;
    case lnCleared: {
      if (FLayersMeasured) {
        ValidateWorkingTiles();
        TPointerMapIterator it(FOldTiles);
        while (it.Next()) MicroTilesUnion(FInvalidTiles, *static_cast<TMicroTiles*>(it.GetData()));
        FHasUpdates = true;
        ResetAdaptiveMode();
      }
      FOldTiles.RemoveAll();
      break;
    }
    default:
      return;
  }
  FLayersMeasured = true;
}

bool TMicroTilesRepaintOptimizer::UpdatesAvailable() {
  MeasureLayers();
  return FHasUpdates;
}

void TMicroTilesRepaintOptimizer::PerformOptimization() {
  if (FHasUpdates) {
    ValidateWorkingTiles();
    const bool R = FPerformanceLevel > 0;
    for (TRepaintLayer* layer : FChangedLayers) {
      MicroTilesClearUsed(FTempTiles);
      DrawLayerToMicroTiles(FTempTiles, layer);
      TMicroTiles& old = FOldTiles.GetData(layer);
      MicroTilesUnion(FInvalidTiles, FTempTiles, R);
      MicroTilesUnion(FInvalidTiles, old, R);
      MicroTilesCopy(old, FTempTiles);
      layer->LayerOptions &= ~LOB_INVALID;
    }
    FChangedLayers.clear();
    MicroTilesCalcRects(FInvalidTiles, FInvalidRects);
    MicroTilesCalcRects(FForcedInvalidTiles, FInvalidRects);
  }
  CheckAdaption(TickCount());
  MicroTilesClearUsed(FInvalidTiles);
  MicroTilesClearUsed(FForcedInvalidTiles);
}

void TMicroTilesRepaintOptimizer::CheckAdaption(uint32_t Ticks) {
  if (!FAdaptiveMode || FPerformanceLevel <= 0) return;
  const int32_t count = FInvalidRects ? FInvalidRects->GetCount() : 0;
  if (int32_t(Ticks - FNextCheck) > 0) {
    --FPerformanceLevel;
    FTimedCheck = true;
  } else if (!FAdaptionFailed && count < FOldInvalidRectsCount - 10) {
    --FPerformanceLevel;
  } else if (FPerformanceLevel == 2 && FInvalidRects) {
    FInvalidRects->Clear();
  }
}

void TMicroTilesRepaintOptimizer::BeginPaintBuffer() {
  if (FAdaptiveMode) FTimer.Start();
}

void TMicroTilesRepaintOptimizer::EndPaintBuffer() {
  FHasUpdates = false;
  RecordPaintTime(FTimer.ReadMicroseconds());
}

void TMicroTilesRepaintOptimizer::RecordPaintTime(int64_t T) {
  const int32_t count = FInvalidRects ? FInvalidRects->GetCount() : 0;
  auto clampDelta = [](int32_t v) { return std::clamp(v, 1000, 5000); };
  if (count == 0) {
    FFullSceneTime = T;
  } else if (FAdaptiveMode) {
    if (T > FFullSceneTime) {
      const int32_t level = std::min(FPerformanceLevel + 1, 2);
      if (level != FPerformanceLevel) {
        FOldInvalidRectsCount = count;
        FPerformanceLevel = level;
        if (FTimedCheck) {
          FTimeDelta = clampDelta(FTimeDelta + 250);
          FNextCheck = TickCount() + uint32_t(FTimeDelta);
          FLastPenaltyTime = T;
          FTimedCheck = false;
        }
        FAdaptionFailed = true;
      }
    } else if (T < FFullSceneTime) {
      if (FTimedCheck) {
        FTimeDelta = 1000;
        FNextCheck = TickCount() + 1000;
        FTimedCheck = false;
      } else if (FTimeDelta > 1000) {
        FTimeDelta = clampDelta(FTimeDelta - 1000);
        FNextCheck = TickCount() + uint32_t(FTimeDelta);
      }
      FAdaptionFailed = false;
    } else if (T < FLastPenaltyTime && FTimedCheck) {
      FTimeDelta = clampDelta(FTimeDelta - 250);
      FNextCheck = TickCount() + uint32_t(FTimeDelta);
      FTimedCheck = false;
    }
  }
  FLastRepaintTime = T;
}

void TMicroTilesRepaintOptimizer::ResetAdaptiveMode() {
  FTimeDelta = 1000;
  FAdaptionFailed = false;
  FPerformanceLevel = 0;
}
