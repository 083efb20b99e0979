#include "bitmap/B32_Containers.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {
// Stand-in addresses; the map never dereferences them.
void* P(uintptr_t v) { return reinterpret_cast<void*>(v); }
// The n-th address of bucket b.
void* InBucket(int b, int n) { return P((uintptr_t(n) << 16) | (uintptr_t(b) << 8) | 0x10); }
}  // namespace

TEST(B32_ContainersTest, PointerMapAddFindRemove) {
  TPointerMap m;
  bool isNew = false;
  int payload = 0;
  void** slot = m.Add(P(0x1000), &payload, isNew);
  EXPECT_TRUE(isNew);
  EXPECT_EQ(*slot, &payload);
  void** again = m.Add(P(0x1000), nullptr, isNew);
  EXPECT_FALSE(isNew);
  EXPECT_EQ(again, slot);
  EXPECT_EQ(*again, &payload);  // an existing item keeps its data
  EXPECT_EQ(m.GetCount(), 1);

  // A pointer whose bits 8-15 are all set lives in the last bucket.
  void* high = P(0xABCDFF40);
  *m.Add(high, isNew) = P(7);
  int32_t bi = -1, ii = -1;
  ASSERT_TRUE(m.Find(high, bi, ii));
  EXPECT_EQ(bi, 255);
  EXPECT_EQ(m.GetData(high), P(7));
  TPointerMapIterator it(m);
  std::set<void*> seen;
  while (it.Next()) seen.insert(it.GetItem());
  EXPECT_EQ(seen, (std::set<void*>{P(0x1000), high}));

  EXPECT_EQ(m.Remove(P(0x1000)), &payload);
  EXPECT_EQ(m.Remove(P(0x1000)), nullptr);
  EXPECT_EQ(m.GetBucket(TPointerMap::BucketOf(P(0x1000))).Items.size(), 0u);  // array released
  EXPECT_EQ(m.GetCount(), 1);
  try {
    m.GetData(P(0x1234));
    FAIL() << "absent item";
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message(), "Item not found ($01234)");
  }
  m.Clear();
  EXPECT_EQ(m.GetCount(), 0);
  m.Clear();  // an empty map stays empty
  EXPECT_EQ(m.GetCount(), 0);
}

TEST(B32_ContainersTest, BucketGrowthSteps) {
  TPointerMap m;
  // Capacity after n items of one bucket.
  const std::vector<std::pair<int, size_t>> steps = {{1, 4},   {4, 4},   {5, 8},   {8, 8},   {9, 12},
                                                     {12, 12}, {13, 28}, {29, 44}, {61, 76}, {77, 95}};
  int added = 0;
  bool isNew;
  for (auto [n, capacity] : steps) {
    while (added < n) m.Add(InBucket(3, added++), isNew);
    EXPECT_EQ(m.GetBucket(3).Items.size(), capacity) << n << " items";
  }
  EXPECT_EQ(m.GetBucket(3).Count, 77);
  EXPECT_EQ(GrowCapacity(100), 125);
}

TEST(B32_ContainersTest, DeleteClosesGapsAndIteratorOrder) {
  TPointerMap m;
  bool isNew;
  for (int n = 0; n < 3; ++n) *m.Add(InBucket(2, n), isNew) = P(100 + n);
  *m.Add(InBucket(0, 0), isNew) = P(50);
  *m.Add(InBucket(200, 0), isNew) = P(60);
  EXPECT_EQ(m.Remove(InBucket(2, 1)), P(101));
  const TPointerBucket& b = m.GetBucket(2);
  ASSERT_EQ(b.Count, 2);
  EXPECT_EQ(b.Items[0].Item, InBucket(2, 0));
  EXPECT_EQ(b.Items[1].Item, InBucket(2, 2));

  // Ascending buckets, last item of a bucket first.
  TPointerMapIterator it(m);
  std::vector<void*> order, data;
  while (it.Next()) {
    order.push_back(it.GetItem());
    data.push_back(it.GetData());
  }
  EXPECT_EQ(order, (std::vector<void*>{InBucket(0, 0), InBucket(2, 2), InBucket(2, 0), InBucket(200, 0)}));
  EXPECT_EQ(data, (std::vector<void*>{P(50), P(102), P(100), P(60)}));
  EXPECT_FALSE(it.Next());
}

namespace {
// A map that frees its data when items go, also during Clear.
struct OwningMap : TPointerMap {
  ~OwningMap() override { Clear(); }
  std::vector<void*> Freed;
  void* Delete(int32_t BucketIndex, int32_t ItemIndex) override {
    void* d = TPointerMap::Delete(BucketIndex, ItemIndex);
    Freed.push_back(d);
    return d;
  }
};
}  // namespace

TEST(B32_ContainersTest, DescendantSeesEveryDataOnClear) {
  OwningMap m;
  bool isNew;
  *m.Add(InBucket(1, 0), isNew) = P(1);
  *m.Add(InBucket(1, 1), isNew) = P(2);
  *m.Add(InBucket(9, 0), isNew) = P(3);
  m.Clear();
  EXPECT_EQ(m.Freed, (std::vector<void*>{P(2), P(1), P(3)}));
  EXPECT_EQ(m.GetCount(), 0);
  EXPECT_EQ(m.GetBucket(1).Items.size(), 0u);
}

TEST(B32_ContainersTest, RectBuffer) {
  TRectBuffer buf;
  EXPECT_EQ(buf.Get(0), nullptr);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(buf.Add(TRect{i, 0, i + 1, 1}), i);
  EXPECT_EQ(buf.GetCapacity(), 12);
  ASSERT_NE(buf.Get(9), nullptr);
  EXPECT_EQ(*buf.Get(9), (TRect{9, 0, 10, 1}));
  EXPECT_EQ(buf.Get(10), nullptr);
  EXPECT_EQ(buf.Get(-1), nullptr);
}

namespace {
struct FakeClass {
  std::string Name;
  std::string GetClassName() const { return Name; }
};
}  // namespace

TEST(B32_ContainersTest, ClassListFindIsExact) {
  const FakeClass a{"TNearestResampler"}, b{"TKernelResampler"}, c{"TKernelResampler"};
  TClassList<FakeClass> list;
  EXPECT_EQ(list.Add(&a), 0);
  EXPECT_EQ(list.Add(&b), 1);
  EXPECT_EQ(list.Add(&c), 2);
  EXPECT_EQ(list.Find("TKernelResampler"), &b);  // first match
  EXPECT_EQ(list.Find("tkernelresampler"), nullptr);
  EXPECT_EQ(list.Find("TDraftResampler"), nullptr);
}

namespace {
// A settings object with a value, a name-valued enumeration, an event and a
// sub-object, described the way the copier reads them.
struct Inner : TPersistent {
  int Value = 0;
  void Assign(const TPersistent* Source) override {
    if (auto* s = dynamic_cast<const Inner*>(Source)) Value = s->Value;
    else TPersistent::Assign(Source);
  }
};

struct Settings : TPersistent, IPublishedProperties {
  double Radius = 1;
  std::string Mode = "wmClamp";
  int EventHits = 0;
  Inner Sub;
  bool HasExtra = false;
  std::vector<TPropInfo> GetPublishedProperties() const override {
    std::vector<TPropInfo> props = {
        {"Radius", tkFloat,
         [](const TObject* s) { return TPropValue(static_cast<const Settings*>(s)->Radius); },
         [](TObject* s, const TPropValue& v) { static_cast<Settings*>(s)->Radius = std::get<double>(v); }, {}},
        {"Mode", tkEnumeration,
         [](const TObject* s) { return TPropValue(static_cast<const Settings*>(s)->Mode); },
         [](TObject* s, const TPropValue& v) { static_cast<Settings*>(s)->Mode = std::get<std::string>(v); }, {}},
        {"OnChange", tkMethod, [](const TObject*) { return TPropValue(int64_t(0)); },
         [](TObject* s, const TPropValue&) { ++static_cast<Settings*>(s)->EventHits; }, {}},
        {"Sub", tkClass, {}, {},
         [](const TObject* s) -> TPersistent* { return &const_cast<Settings*>(static_cast<const Settings*>(s))->Sub; }},
    };
    if (HasExtra)
      props.push_back({"Extra", tkInteger, [](const TObject*) { return TPropValue(int64_t(1)); },
                       [](TObject*, const TPropValue&) {}, {}});
    return props;
  }
};
}  // namespace

TEST(B32_ContainersTest, CopyPublishedPropertiesSkipsEventsAndAssignsObjects) {
  Settings a, b;
  a.Radius = 3.5;
  a.Mode = "wmMirror";
  a.Sub.Value = 42;
  CopyPublishedProperties(&a, &b);
  EXPECT_EQ(b.Radius, 3.5);
  EXPECT_EQ(b.Mode, "wmMirror");
  EXPECT_EQ(b.Sub.Value, 42);
  EXPECT_EQ(b.EventHits, 0);

  a.HasExtra = true;  // a property the target lacks
  EXPECT_THROW(CopyPublishedProperties(&a, &b), EPropertyError);
}
