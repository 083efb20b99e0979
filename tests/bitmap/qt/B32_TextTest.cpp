#include "bitmap/qt/B32_Text.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QRawFont>

#include <cmath>

#include "bitmap/B32_Paths.h"
#include "bitmap/B32_VectorUtils.h"

namespace {
QFont TestFont() {
  QFont f("DejaVu Sans");
  f.setPixelSize(20);
  return f;
}

int32_t Adv(char16_t c) {
  const QRawFont raw = QRawFont::fromFont(TestFont());
  const auto idx = raw.glyphIndexesForString(QString(QChar(c)));
  return int32_t(qRound(raw.advancesForGlyphIndexes(idx).front().x()));
}

TArrayOfArrayOfFloatPoint Outline(const std::string& Text, TFloatRect R, uint32_t Flags = 0) {
  TFlattenedPath p;
  TextToPath(TestFont(), &p, R, Text, Flags);
  TArrayOfArrayOfFloatPoint r;
  for (const auto& s : p.GetPath())
    if (!s.empty()) r.push_back(s);
  return r;
}

TFloatRect Bounds(const TArrayOfArrayOfFloatPoint& P) {
  TArrayOfFloatPoint all;
  for (const auto& s : P) all.insert(all.end(), s.begin(), s.end());
  return PolygonBounds(all);
}

TArrayOfArrayOfFloatPoint Shifted(TArrayOfArrayOfFloatPoint P, float Dx, float Dy) {
  for (auto& s : P)
    for (auto& p : s) {
      p.X += Dx;
      p.Y += Dy;
    }
  return P;
}

void ExpectNear(const TArrayOfArrayOfFloatPoint& A, const TArrayOfArrayOfFloatPoint& B) {
  ASSERT_EQ(A.size(), B.size());
  for (size_t i = 0; i < A.size(); ++i) {
    ASSERT_EQ(A[i].size(), B[i].size());
    for (size_t j = 0; j < A[i].size(); ++j) {
      EXPECT_NEAR(A[i][j].X, B[i][j].X, 1e-3);
      EXPECT_NEAR(A[i][j].Y, B[i][j].Y, 1e-3);
    }
  }
}

const TFloatRect Wide{10, 20, 500, 300};
}  // namespace

TEST(B32_Text, GlyphsFollowEachOtherByTheirAdvance) {
  SetHinting(0);
  const auto a = Outline("A", Wide), b = Outline("B", Wide), ab = Outline("AB", Wide);
  ASSERT_FALSE(a.empty());
  ASSERT_EQ(ab.size(), a.size() + b.size());
  ExpectNear(TArrayOfArrayOfFloatPoint(ab.begin(), ab.begin() + long(a.size())), a);
  ExpectNear(TArrayOfArrayOfFloatPoint(ab.begin() + long(a.size()), ab.end()), Shifted(b, float(Adv(u'A')), 0));
  // The baseline sits one ascent below the top; the glyph stays inside the line.
  const QFontMetrics m(TestFont());
  const TFloatRect bb = Bounds(a);
  EXPECT_GE(bb.Left, 10);
  EXPECT_GE(bb.Top, 20);
  EXPECT_LE(bb.Bottom, 20 + m.ascent() + 0.5f);
}

TEST(B32_Text, AlignmentShiftsTheLine) {
  const auto left = Outline("AB", Wide);
  const float lineWidth = float(Adv(u'A') + Adv(u'B'));
  const float free = (500 - 10) - lineWidth - 1;
  ExpectNear(Outline("AB", Wide, DT_RIGHT), Shifted(left, free, 0));
  ExpectNear(Outline("AB", Wide, DT_CENTER), Shifted(left, float(std::nearbyint(free / 2)), 0));
  // Vertical placement moves everything down by the free height (or half).
  const QFontMetrics m(TestFont());
  const float freeH = 300 - (20 + m.height());
  ExpectNear(Outline("AB", Wide, DT_BOTTOM), Shifted(left, 0, freeH));
  ExpectNear(Outline("AB", Wide, DT_VCENTER), Shifted(left, 0, freeH / 2));
}

TEST(B32_Text, WrappingAndSingleLine) {
  const QFontMetrics m(TestFont());
  const std::string text = "MM MM MM MM";
  const float word = float(2 * Adv(u'M'));
  // Room for one word and a half: every word goes on its own line, unsplit.
  const TFloatRect narrow{0, 0, word * 1.5f, 400};
  const auto wrapped = Outline(text, narrow, DT_WORDBREAK);
  const auto mm = Outline("MM", narrow);
  ASSERT_EQ(wrapped.size(), 4 * mm.size());
  for (int line = 0; line < 4; ++line) {
    const TArrayOfArrayOfFloatPoint part(wrapped.begin() + long(line * mm.size()),
                                         wrapped.begin() + long((line + 1) * mm.size()));
    ExpectNear(part, Shifted(mm, 0, float(line * m.height())));
  }
  // Single line: the line feed is a space and nothing wraps.
  const auto single = Outline("A\nB", TFloatRect{0, 0, 5, 400}, DT_SINGLELINE | DT_NOCLIP);
  const auto a = Outline("A", TFloatRect{0, 0, 500, 400});
  const float spaceW = float(Adv(u' '));
  EXPECT_NEAR(Bounds(single).Bottom, Bounds(a).Bottom, 0.5f);
  const auto b = Outline("B", TFloatRect{0, 0, 500, 400});
  EXPECT_NEAR(Bounds(single).Right, Bounds(b).Right + float(Adv(u'A')) + spaceW, 1e-3);
  // A zero-width rectangle keeps everything on one line.
  const auto zero = Outline("MM MM MM", TFloatRect{0, 0, 0, 0});
  EXPECT_NEAR(Bounds(zero).Bottom, Bounds(mm).Bottom, 0.5f);
  // A line feed starts a new line.
  const auto two = Outline("A\nA", Wide);
  EXPECT_NEAR(Bounds(two).Bottom - Bounds(Outline("A", Wide)).Bottom, float(m.height()), 1e-3);
}

TEST(B32_Text, MeasureReturnsTheLaidOutRectangle) {
  const QFontMetrics m(TestFont());
  const TFloatRect r = MeasureText(TestFont(), Wide, "AB", 0);
  EXPECT_EQ(r, (TFloatRect{10, 20, float(10 + Adv(u'A') + Adv(u'B')), float(20 + m.height())}));
  // Wrapped text measures its lines; the width is the widest line.
  const float word = float(2 * Adv(u'M'));
  const TFloatRect w = MeasureText(TestFont(), TFloatRect{0, 0, word * 1.5f, 400}, "MM MM MM", DT_WORDBREAK);
  EXPECT_EQ(w, (TFloatRect{0, 0, word, float(3 * m.height())}));
  EXPECT_EQ(MeasureText(TestFont(), Wide, "", 0), (TFloatRect{10, 20, 10, float(20 + m.height())}));
}

TEST(B32_Text, HintingStateAndStretch) {
  SetHinting(1);
  EXPECT_TRUE(GetUseHinting());
  EXPECT_EQ(GetHorzStretch(), 16);
  // The stretch is undone at the end: the layout lands where it would unstretched.
  const auto stretched = Outline("AB", Wide);
  const TFloatRect m = MeasureText(TestFont(), Wide, "AB", 0);
  SetHinting(2);
  EXPECT_EQ(GetHorzStretch(), 1);
  SetHinting(0);
  EXPECT_FALSE(GetUseHinting());
  EXPECT_NEAR(Bounds(stretched).Left, Bounds(Outline("AB", Wide)).Left, 1.5f);
  EXPECT_NEAR(m.Right, MeasureText(TestFont(), Wide, "AB", 0).Right, 1.0f);
}

TEST(B32_Text, OtherPathKindsGetACopy) {
  TCustomPath plain;
  EXPECT_NO_THROW(TextToPath(TestFont(), &plain, Wide, "A", 0));  // assigned from a temporary flattened path
  TFlattenedPath p;
  TGlyphMetrics32 gm;
  const QRawFont raw = QRawFont::fromFont(TestFont());
  EXPECT_FALSE(GlyphOutlineToPath(raw, &p, 0, 5, 20, u'W', gm));  // does not fit: nothing drawn
  EXPECT_TRUE(p.GetPath().empty());
  EXPECT_EQ(gm.CellIncX, Adv(u'W'));
  EXPECT_TRUE(GlyphOutlineToPath(raw, &p, 0, 100, 20, u'W', gm));
  EXPECT_FALSE(p.GetPath().empty());
}
