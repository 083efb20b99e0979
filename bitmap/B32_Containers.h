// Small containers of the bitmap library: a pointer-to-pointer hash map with
// its iterator, a growable rectangle buffer, a list of classes searchable by
// name, and the copier of published properties.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "bitmap/B32.h"

// ---------------------------------------------------------------------------
// TPointerMap

struct TPointerBucketItem {
  void* Item = nullptr;
  void* Data = nullptr;
};
// The array's length is the bucket's capacity; Items[0..Count-1] are in use.
using TPointerBucketItemArray = std::vector<TPointerBucketItem>;

struct TPointerBucket {
  int32_t Count = 0;
  TPointerBucketItemArray Items;
};

constexpr int32_t BUCKET_COUNT = 256;

// Maps pointers to pointers. The bucket of an item is bits 8-15 of its
// address (heap blocks are aligned, so the low bits say little).
class TPointerMap {
public:
  TPointerMap() = default;
  TPointerMap(const TPointerMap&) = delete;
  TPointerMap& operator=(const TPointerMap&) = delete;
  virtual ~TPointerMap();

  // Adds Item (with Data nil) or finds it; returns its Data slot. IsNew tells
  // whether it was added (an existing item keeps its Data).
  void** Add(void* NewItem, bool& IsNew);
  void** Add(void* NewItem, void* NewData, bool& IsNew);
  // Removes Item and returns its Data; nullptr when absent.
  void* Remove(void* Item);
  void Clear();
  bool Contains(void* Item) const;
  bool Find(void* Item, int32_t& BucketIndex, int32_t& ItemIndex) const;
  // The Data of a present item; an absent one raises EListError.
  void* GetData(void* Item) const;
  void SetData(void* Item, void* NewData);

  int32_t GetCount() const { return FCount; }
  const TPointerBucket& GetBucket(int32_t Index) const { return FBuckets[Index]; }

  static int32_t BucketOf(const void* Item) { return int32_t((reinterpret_cast<uintptr_t>(Item) >> 8) & 255); }

protected:
  // Removes one item and returns its Data; a descendant may free the data
  // here. While Count is 0 (during Clear) it only hands the Data back.
  virtual void* Delete(int32_t BucketIndex, int32_t ItemIndex);

private:
  friend class TPointerMapIterator;
  TPointerBucket FBuckets[BUCKET_COUNT];
  int32_t FCount = 0;
};

// Visits every item once: bucket by bucket in ascending order, within a
// bucket from the last item to the first.
class TPointerMapIterator {
public:
  explicit TPointerMapIterator(const TPointerMap& SrcPointerMap) : FSrcPointerMap(SrcPointerMap) {}
  bool Next();
  void* GetItem() const { return FItem; }
  void* GetData() const { return FData; }

private:
  const TPointerMap& FSrcPointerMap;
  void* FItem = nullptr;
  void* FData = nullptr;
  int32_t FCurBucketIndex = -1;
  int32_t FCurItemIndex = -1;
};

// ---------------------------------------------------------------------------
// TRectBuffer

class TRectBuffer {
public:
  virtual ~TRectBuffer() = default;
  // Appends R (growing when full) and returns its index.
  int32_t Add(const TRect& R);
  // The rectangle at Index, or nullptr when Index is out of range.
  TRect* Get(int32_t Index);
  void Clear() { FCount = 0; }

  int32_t GetCount() const { return FCount; }
  int32_t GetCapacity() const { return int32_t(FItems.size()); }
  TRect* GetItems() { return FItems.data(); }

protected:
  // Grows the capacity: by 4 while below 9, by 16 up to 64, then by a quarter.
  virtual void Grow();

private:
  std::vector<TRect> FItems;  // its size is the capacity
  int32_t FCount = 0;
};

// The capacity step shared by the pointer-map buckets and the rectangle buffer.
int32_t GrowCapacity(int32_t Capacity);

// ---------------------------------------------------------------------------
// TClassList

// A list of class references (descriptor objects) searchable by class name.
// TClass is a descriptor type with a GetClassName() const returning the name.
template <class TClass>
class TClassList {
public:
  int32_t Add(const TClass* AClass) {
    FItems.push_back(AClass);
    return int32_t(FItems.size()) - 1;
  }
  // The first class whose name equals AClassName exactly (case-sensitive).
  const TClass* Find(std::string_view AClassName) const {
    for (const TClass* c : FItems)
      if (c && c->GetClassName() == AClassName) return c;
    return nullptr;
  }
  int32_t GetCount() const { return int32_t(FItems.size()); }
  const TClass* GetItem(int32_t Index) const { return FItems.at(size_t(Index)); }
  void Clear() { FItems.clear(); }

private:
  std::vector<const TClass*> FItems;
};

// ---------------------------------------------------------------------------
// Published properties and their copier

enum TTypeKind : uint8_t {
  tkUnknown, tkInteger, tkChar, tkEnumeration, tkFloat, tkString, tkSet, tkClass, tkMethod,
  tkWChar, tkLString, tkWString, tkVariant, tkArray, tkRecord, tkInterface, tkInt64, tkDynArray, tkUString,
};
using TTypeKinds = uint32_t;
constexpr TTypeKinds TypeKind(TTypeKind K) { return TTypeKinds(1) << K; }
constexpr TTypeKinds tkAny = (TTypeKinds(1) << (tkUString + 1)) - 1;
// Every kind except method pointers, so that events are never copied.
constexpr TTypeKinds tkProperties = tkAny & ~TypeKind(tkMethod);

// A property value: integers, floats, and strings (enumerations and sets as
// their names).
using TPropValue = std::variant<int64_t, double, std::string>;

// One published property. Value properties have Get/Set; object properties
// (tkClass) have GetObject, which may answer nullptr.
struct TPropInfo {
  std::string Name;
  TTypeKind Kind = tkUnknown;
  std::function<TPropValue(const TObject* Self)> Get;
  std::function<void(TObject* Self, const TPropValue& Value)> Set;
  std::function<TPersistent*(const TObject* Self)> GetObject;
};

// Implemented by classes whose published properties can be copied (the
// resamplers and kernels); the list is in declaration order.
class IPublishedProperties {
public:
  virtual ~IPublishedProperties() = default;
  virtual std::vector<TPropInfo> GetPublishedProperties() const = 0;
};

// Copies each published property of Source whose kind is in Kinds to the
// property of the same name of Dest: object properties are assigned object to
// object when both hold one, the others set by value. A property missing on
// Dest raises EPropertyError. Objects without published properties copy
// nothing.
void CopyPublishedProperties(const TObject* Source, TObject* Dest, TTypeKinds Kinds = tkProperties);
