#include "bitmap/B32_Containers.h"

#include <cinttypes>
#include <cstdio>

int32_t GrowCapacity(int32_t Capacity) {
  if (Capacity > 64) return Capacity + Capacity / 4;
  if (Capacity > 8) return Capacity + 16;
  return Capacity + 4;
}

// ---------------------------------------------------------------------------
// TPointerMap

TPointerMap::~TPointerMap() { Clear(); }

void** TPointerMap::Add(void* NewItem, bool& IsNew) { return Add(NewItem, nullptr, IsNew); }

void** TPointerMap::Add(void* NewItem, void* NewData, bool& IsNew) {
  int32_t bi, ii;
  if (Find(NewItem, bi, ii)) {
    IsNew = false;
    return &FBuckets[bi].Items[size_t(ii)].Data;
  }
  TPointerBucket& b = FBuckets[bi];
  if (b.Count == int32_t(b.Items.size())) b.Items.resize(size_t(GrowCapacity(b.Count)));
  b.Items[size_t(b.Count)] = TPointerBucketItem{NewItem, NewData};
  IsNew = true;
  ++FCount;
  return &b.Items[size_t(b.Count++)].Data;
}

bool TPointerMap::Find(void* Item, int32_t& BucketIndex, int32_t& ItemIndex) const {
  BucketIndex = BucketOf(Item);
  const TPointerBucket& b = FBuckets[BucketIndex];
  for (int32_t i = 0; i < b.Count; ++i)
    if (b.Items[size_t(i)].Item == Item) {
      ItemIndex = i;
      return true;
    }
  return false;
}

bool TPointerMap::Contains(void* Item) const {
  int32_t bi, ii;
  return Find(Item, bi, ii);
}

void* TPointerMap::Delete(int32_t BucketIndex, int32_t ItemIndex) {
  TPointerBucket& b = FBuckets[BucketIndex];
  void* data = b.Items[size_t(ItemIndex)].Data;
  if (FCount == 0) return data;
  if (--b.Count == 0) {
    TPointerBucketItemArray().swap(b.Items);
  } else {
    for (int32_t i = ItemIndex; i < b.Count; ++i) b.Items[size_t(i)] = b.Items[size_t(i) + 1];
  }
  --FCount;
  return data;
}

void* TPointerMap::Remove(void* Item) {
  int32_t bi, ii;
  if (Find(Item, bi, ii)) return Delete(bi, ii);
  return nullptr;
}

void TPointerMap::Clear() {
  FCount = 0;
  for (int32_t bi = 0; bi < BUCKET_COUNT; ++bi) {
    TPointerBucket& b = FBuckets[bi];
    for (int32_t ii = b.Count - 1; ii >= 0; --ii) Delete(bi, ii);
    b.Count = 0;
    TPointerBucketItemArray().swap(b.Items);
  }
}

void* TPointerMap::GetData(void* Item) const {
  int32_t bi, ii;
  if (!Find(Item, bi, ii)) {
    char msg[64];
    std::snprintf(msg, sizeof msg, "Item not found ($0%" PRIX64 ")",
                  static_cast<uint64_t>(reinterpret_cast<uintptr_t>(Item)));
    throw EListError(msg);
  }
  return FBuckets[bi].Items[size_t(ii)].Data;
}

void TPointerMap::SetData(void* Item, void* NewData) {
  bool isNew;
  *Add(Item, isNew) = NewData;
}

// ---------------------------------------------------------------------------
// TPointerMapIterator

bool TPointerMapIterator::Next() {
  if (FCurItemIndex > 0) {
    --FCurItemIndex;
  } else {
    int32_t bi = FCurBucketIndex + 1;
    while (bi < BUCKET_COUNT && FSrcPointerMap.FBuckets[bi].Count == 0) ++bi;
    if (bi >= BUCKET_COUNT) {
      FCurBucketIndex = BUCKET_COUNT;
      FCurItemIndex = -1;
      return false;
    }
    FCurBucketIndex = bi;
    FCurItemIndex = FSrcPointerMap.FBuckets[bi].Count - 1;
  }
  const TPointerBucketItem& it = FSrcPointerMap.FBuckets[FCurBucketIndex].Items[size_t(FCurItemIndex)];
  FItem = it.Item;
  FData = it.Data;
  return true;
}

// ---------------------------------------------------------------------------
// TRectBuffer

void TRectBuffer::Grow() { FItems.resize(size_t(GrowCapacity(int32_t(FItems.size())))); }

int32_t TRectBuffer::Add(const TRect& R) {
  if (FCount == int32_t(FItems.size())) Grow();
  FItems[size_t(FCount)] = R;
  return FCount++;
}

TRect* TRectBuffer::Get(int32_t Index) {
  if (Index < 0 || Index >= FCount) return nullptr;
  return &FItems[size_t(Index)];
}

// ---------------------------------------------------------------------------
// CopyPublishedProperties

void CopyPublishedProperties(const TObject* Source, TObject* Dest, TTypeKinds Kinds) {
  const auto* src = dynamic_cast<const IPublishedProperties*>(Source);
  if (!src || !Dest) return;
  const auto* dst = dynamic_cast<const IPublishedProperties*>(Dest);
  const std::vector<TPropInfo> srcProps = src->GetPublishedProperties();
  const std::vector<TPropInfo> dstProps = dst ? dst->GetPublishedProperties() : std::vector<TPropInfo>{};
  for (const TPropInfo& p : srcProps) {
    if ((Kinds & TypeKind(p.Kind)) == 0) continue;
    const TPropInfo* d = nullptr;
    for (const TPropInfo& q : dstProps)
      if (q.Name == p.Name) {
        d = &q;
        break;
      }
    if (!d) throw EPropertyError("Property " + p.Name + " does not exist");
    if (p.Kind == tkClass) {
      TPersistent* so = p.GetObject ? p.GetObject(Source) : nullptr;
      TPersistent* doo = d->GetObject ? d->GetObject(Dest) : nullptr;
      if (so && doo) doo->Assign(so);
    } else if (p.Get && d->Set) {
      d->Set(Dest, p.Get(Source));
    }
  }
}
