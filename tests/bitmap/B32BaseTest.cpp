#include "bitmap/B32.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records the notices a map sends, in order.
struct MapLog {
  std::vector<std::string> Events;
  void Attach(TCustomMap& M) {
    M.SetOnChange([this](TObject*) { Events.push_back("change"); });
    M.SetOnResize([this](TObject*) { Events.push_back("resize"); });
  }
};

}  // namespace

TEST(B32BaseTest, SetSizeClampsNegativesAndReportsOnlyRealChanges) {
  TCustomMap m;
  MapLog log;
  log.Attach(m);
  EXPECT_TRUE(m.SetSize(-5, 10));
  EXPECT_EQ(m.GetWidth(), 0);
  EXPECT_EQ(m.GetHeight(), 10);
  EXPECT_TRUE(m.Empty());
  EXPECT_EQ(log.Events, (std::vector<std::string>{"change", "resize"}));
  log.Events.clear();
  EXPECT_FALSE(m.SetSize(-5, 10));
  EXPECT_TRUE(log.Events.empty());

  m.SetWidth(3);
  EXPECT_EQ(m.GetWidth(), 3);
  EXPECT_FALSE(m.Empty());
  m.SetHeight(0);
  EXPECT_TRUE(m.Empty());
  m.SetSize(2, 2);
  m.Delete();
  EXPECT_EQ(m.GetWidth(), 0);
  EXPECT_EQ(m.GetHeight(), 0);
}

TEST(B32BaseTest, UpdatesHoldBackChangeAndEndUpdateNeverFires) {
  TCustomMap m;
  MapLog log;
  log.Attach(m);
  m.BeginUpdate();
  m.Changed();
  m.SetSize(4, 4);  // resize still fires, change does not
  m.EndUpdate();
  EXPECT_EQ(log.Events, (std::vector<std::string>{"resize"}));
  m.Changed();
  EXPECT_EQ(log.Events, (std::vector<std::string>{"resize", "change"}));
}

TEST(B32BaseTest, UnpairedEndUpdateFailsAndKeepsCountAtZero) {
  TNotifiablePersistent p;
  try {
    p.EndUpdate();
    FAIL() << "no assertion";
  } catch (const EAssertionFailed& e) {
    EXPECT_EQ(e.Message(), "Unpaired TThreadPersistent.EndUpdate");
  }
  EXPECT_EQ(p.GetUpdateCount(), 0);
}

namespace {
struct Counted : TPlainInterfacedPersistent {
  explicit Counted(bool* destroyed) : FDestroyed(destroyed) {
    SetRefCounted(true);
    AddRef();
  }
  ~Counted() override { *FDestroyed = true; }
  bool* FDestroyed;
};
}  // namespace

TEST(B32BaseTest, ReferenceCounting) {
  bool destroyed = false;
  auto* c = new Counted(&destroyed);
  EXPECT_EQ(c->GetRefCount(), 1);
  EXPECT_EQ(c->AddRef(), 2);
  EXPECT_EQ(c->Release(), 1);
  // Freeing with a reference left is refused.
  try {
    c->Free();
    FAIL() << "freed with references";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Unmatched reference counting.");
  }
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(c->Release(), 0);
  EXPECT_TRUE(destroyed);

  TPlainInterfacedPersistent plain;
  EXPECT_EQ(plain.AddRef(), -1);
  EXPECT_EQ(plain.Release(), -1);
  EXPECT_EQ(plain.GetRefCount(), 0);
}

TEST(B32BaseTest, LockIsReentrantAndCounted) {
  TThreadPersistent t;
  t.Lock();
  t.Lock();
  EXPECT_EQ(t.GetLockCount(), 2);
  t.Unlock();
  t.Unlock();
  EXPECT_EQ(t.GetLockCount(), 0);
}

TEST(B32BaseTest, Color32SwapsRedAndBlueAndSetsAlpha) {
  EXPECT_EQ(Color32(0x000000FF), 0xFFFF0000u);
  EXPECT_EQ(Color32(0x00123456), 0xFF563412u);
  EXPECT_EQ(Color32(0x00FFFFFF), 0xFFFFFFFFu);
  // System colour 5 (window background) is white.
  EXPECT_EQ(Color32(int32_t(0x80000005)), 0xFFFFFFFFu);
}

TEST(B32BaseTest, IntersectRect) {
  struct Case {
    TRect A, B, Want;
    bool Ok;
  };
  const Case cases[] = {
      {{0, 0, 4, 4}, {5, 5, 8, 8}, {0, 0, 0, 0}, false},
      {{0, 0, 4, 4}, {4, 0, 8, 4}, {4, 0, 4, 4}, true},
      {{0, 0, 4, 4}, {2, 1, 8, 3}, {2, 1, 4, 3}, true},
      {{0, 0, 4, 4}, {0, 5, 4, 8}, {0, 0, 0, 0}, false},
  };
  for (const Case& c : cases) {
    TRect d{9, 9, 9, 9};
    EXPECT_EQ(IntersectRect(d, c.A, c.B), c.Ok);
    EXPECT_EQ(d, c.Want);
  }
  EXPECT_TRUE(IsRectEmpty(TRect{4, 0, 4, 4}));
  EXPECT_TRUE(IsRectEmpty(TRect{0, 5, 4, 4}));
  EXPECT_FALSE(IsRectEmpty(TRect{0, 0, 1, 1}));
}

TEST(B32BaseTest, MakeRectRounding) {
  const TFloatRect f{0.5f, 1.5f, 2.5f, 3.7f};
  EXPECT_EQ(MakeRect(f, rrClosest), (TRect{0, 2, 2, 4}));  // halves to even
  EXPECT_EQ(MakeRect(f, rrOutside), (TRect{0, 1, 3, 4}));
  EXPECT_EQ(MakeRect(f, rrInside), (TRect{1, 2, 2, 3}));
  // Inward rounding of a sliver never leaves Right below Left.
  EXPECT_EQ(MakeRect(TFloatRect{0.2f, 0.2f, 0.8f, 0.8f}, rrInside), (TRect{1, 1, 1, 1}));

  const TFixedRect x{Fixed(1) + 0x8000, -0x8000, Fixed(2) + 0x4000, Fixed(3) + 0x7FFF};
  EXPECT_EQ(MakeRect(x, rrClosest), (TRect{1, -1, 2, 3}));  // halves round down
  EXPECT_EQ(MakeRect(x, rrOutside), (TRect{1, -1, 3, 4}));
  EXPECT_EQ(MakeRect(x, rrInside), (TRect{2, 0, 2, 3}));
}

TEST(B32BaseTest, SmallHelpers) {
  TRect r{1, 2, 3, 4};
  OffsetIntRect(r, 10, -2);
  EXPECT_EQ(r, (TRect{11, 0, 13, 2}));
  TFloatRect f = FloatRect(TRect{1, 2, 3, 4});
  InflateFloatRect(f, 0.5f, 1);
  EXPECT_EQ(f, (TFloatRect{0.5f, 1, 3.5f, 5}));
  EXPECT_EQ(Fixed(-2), -0x20000);
  EXPECT_EQ(FixedRect(1, 2, 3, 4), (TFixedRect{1, 2, 3, 4}));
  EXPECT_EQ(FloatPoint(1, 2), (TFloatPoint{1, 2}));
}
