#include "bitmap/qt/B32_Text.h"

#include <QFontMetrics>
#include <QPainterPath>
#include <QString>

#include <algorithm>
#include <memory>
#include <vector>

#include "bitmap/B32_Paths.h"

namespace {
bool GUseHinting = false;
int32_t GHorzStretch = 1;
float GHorzStretchInv = 1;

constexpr float NoLimit = 3.4e38f;

QRawFont RawFontFor(const QFont& Font) {
  QFont f = Font;
  f.setHintingPreference(GUseHinting ? QFont::PreferFullHinting : QFont::PreferNoHinting);
  return QRawFont::fromFont(f);
}

quint32 GlyphIndex(const QRawFont& Font, char16_t C) {
  const QChar ch(C);
  const QList<quint32> idx = Font.glyphIndexesForString(QString(ch));
  return idx.isEmpty() ? 0 : idx.front();
}

int32_t Advance(const QRawFont& Font, quint32 Glyph) {
  const QList<QPointF> adv = Font.advancesForGlyphIndexes(QList<quint32>{Glyph});
  return adv.isEmpty() ? 0 : int32_t(qRound(adv.front().x() * GHorzStretch));
}
}  // namespace

void SetHinting(int32_t Value) {
  GUseHinting = Value != 0;
  GHorzStretch = Value == 1 ? 16 : 1;
  GHorzStretchInv = 1.0f / float(GHorzStretch);
}

bool GetUseHinting() { return GUseHinting; }
int32_t GetHorzStretch() { return GHorzStretch; }

bool GlyphOutlineToPath(const QRawFont& Font, TCustomPath* Path, float X, float MaxX, float Y, char16_t Glyph,
                        TGlyphMetrics32& Metrics) {
  const quint32 g = GlyphIndex(Font, Glyph);
  Metrics.CellIncX = Advance(Font, g);
  const bool fits = X + float(Metrics.CellIncX) <= MaxX;
  if (!fits || !Path || g == 0) return fits;
  const QPainterPath outline = Font.pathForGlyph(g);
  if (outline.isEmpty()) return fits;
  auto pt = [&](const QPainterPath::Element& e) {
    return TFloatPoint{float(e.x) * float(GHorzStretch) + X, float(e.y) + Y};
  };
  Path->BeginUpdate();
  bool open = false;
  for (int i = 0; i < outline.elementCount(); ++i) {
    const QPainterPath::Element& e = outline.elementAt(i);
    if (e.isMoveTo()) {
      if (open) Path->EndPath(true);
      Path->MoveTo(pt(e));
      open = true;
    } else if (e.isLineTo()) {
      Path->LineTo(pt(e));
    } else if (e.isCurveTo() && i + 2 < outline.elementCount()) {
      Path->CurveTo(pt(e), pt(outline.elementAt(i + 1)), pt(outline.elementAt(i + 2)));
      i += 2;
    }
  }
  if (open) Path->EndPath(true);
  Path->EndUpdate();
  return fits;
}

namespace {
struct TTextLayout {
  QRawFont Raw;
  TFlattenedPath* Path = nullptr;
  TFloatRect R;
  QString Text;
  uint32_t Flags = 0;
  int32_t Ascent = 0, Height = 0;
  float X = 0, Y = 0, MaxXReached = 0, MaxX = NoLimit;
  int32_t SpaceWidth = 0, SpaceCount = 0, LineStart = 0;
  std::vector<int32_t> SubPathStart;  // per character, plus one
  std::vector<float> CharX;           // where each character was placed
  std::vector<int32_t> Adv;

  bool ZeroWidth() const { return R.Right == R.Left; }
  int32_t PathCount() const { return Path ? int32_t(Path->GetPath().size()) : 0; }

  void ShiftChar(int32_t Char, float Dx) {
    auto& subs = Path->Path();
    for (int32_t s = SubPathStart[size_t(Char)]; s < SubPathStart[size_t(Char) + 1]; ++s)
      for (TFloatPoint& p : subs[size_t(s)]) p.X += Dx;
  }
  void EmptyChar(int32_t Char) {
    auto& subs = Path->Path();
    for (int32_t s = SubPathStart[size_t(Char)]; s < SubPathStart[size_t(Char) + 1]; ++s) subs[size_t(s)].clear();
  }

  void AlignLine(int32_t From, int32_t To, bool EndsWithLineFeed) {
    if (!Path || ZeroWidth()) return;
    const float left = R.Left * float(GHorzStretch), right = R.Right * float(GHorzStretch);
    const float lineWidth = X - left;
    const float free = (R.Right - R.Left) * float(GHorzStretch) - lineWidth - 1;
    const uint32_t align = Flags & 3;
    std::vector<float> dx(size_t(std::max(To - From, 0)), 0.0f);
    if (align == DT_RIGHT) {
      std::fill(dx.begin(), dx.end(), free);
    } else if (align == DT_CENTER) {
      std::fill(dx.begin(), dx.end(), float(Round(free / 2)));
    } else if (align == DT_JUSTIFY && SpaceCount > 0 && !EndsWithLineFeed) {
      const float per = free / float(SpaceCount);
      int32_t spaces = 0;
      for (int32_t j = From; j < To; ++j) {
        dx[size_t(j - From)] = per * float(spaces);
        if (Text[j] == u' ') ++spaces;
      }
    }
    for (int32_t j = From; j < To; ++j)
      if (dx[size_t(j - From)] != 0) ShiftChar(j, dx[size_t(j - From)]);
    if (Flags & DT_NOCLIP) return;
    // Characters outside the rectangle are dropped; with word breaks, whole words.
    std::vector<bool> out(dx.size(), false);
    for (int32_t j = From; j < To; ++j) {
      if (Text[j] <= u' ') continue;
      const float x = CharX[size_t(j)] + dx[size_t(j - From)];
      out[size_t(j - From)] = x < left || x + float(Adv[size_t(j)]) > right;
    }
    if (Flags & DT_WORDBREAK) {
      int32_t w = From;
      while (w < To) {
        int32_t e = w;
        bool any = false;
        while (e < To && Text[e] > u' ') any = any || out[size_t(e++ - From)];
        for (int32_t j = w; j < e; ++j) out[size_t(j - From)] = any;
        w = e + 1;
      }
    }
    for (int32_t j = From; j < To; ++j)
      if (out[size_t(j - From)]) EmptyChar(j);
  }

  void NewLine(int32_t End, bool LineFeed) {
    if (Flags & DT_SINGLELINE) {
      X += float(SpaceWidth);
      ++SpaceCount;
      return;
    }
    AlignLine(LineStart, End, LineFeed);
    X = R.Left * float(GHorzStretch);
    Y += float(Height);
    LineStart = End;
    SpaceCount = 0;
  }

  int32_t WordWidthFrom(int32_t I) {
    int32_t w = 0;
    for (int32_t j = I; j < Text.size() && Text[j] > u' '; ++j) w += Advance(Raw, GlyphIndex(Raw, Text[j].unicode()));
    return w;
  }

  void Run() {
    const int32_t n = int32_t(Text.size());
    SubPathStart.assign(size_t(n) + 1, 0);
    CharX.assign(size_t(n), 0);
    Adv.assign(size_t(n), 0);
    X = R.Left * float(GHorzStretch);
    Y = R.Top + float(Ascent);
    MaxXReached = X;
    MaxX = (Path && !ZeroWidth()) ? R.Right * float(GHorzStretch) : NoLimit;
    SpaceWidth = Advance(Raw, GlyphIndex(Raw, u' '));
    if ((Flags & DT_SINGLELINE) || ZeroWidth()) {
      if ((Flags & 3) == DT_JUSTIFY) Flags &= ~uint32_t(3);
      MaxX = NoLimit;
    }
    const float rightEdge = R.Right * float(GHorzStretch);
    for (int32_t i = 0; i < n; ++i) {
      const char16_t c = Text[i].unicode();
      SubPathStart[size_t(i)] = PathCount();
      if (c > 32) {
        TGlyphMetrics32 gm;
        if (!GlyphOutlineToPath(Raw, Path, X, MaxX, Y, c, gm)) {
          if (i > 0 && Text[i - 1] == u' ' && !(Flags & DT_SINGLELINE)) {
            X -= float(SpaceWidth);
            --SpaceCount;
          }
          NewLine(i, false);
          SubPathStart[size_t(i)] = PathCount();
          GlyphOutlineToPath(Raw, Path, X, MaxX, Y, c, gm);
        }
        CharX[size_t(i)] = X;
        Adv[size_t(i)] = gm.CellIncX;
        X += float(gm.CellIncX);
        MaxXReached = std::max(MaxXReached, X);
      } else {
        CharX[size_t(i)] = X;
        Adv[size_t(i)] = SpaceWidth;
        const bool single = Flags & DT_SINGLELINE;
        if (c == 10 && !single) {
          SubPathStart[size_t(i) + 1] = PathCount();
          NewLine(i + 1, true);
        } else if (c == 32 || single) {
          bool wrap = false;
          if (!ZeroWidth() && !single) {
            if (Flags & DT_WORDBREAK)
              wrap = X + float(WordWidthFrom(i + 1)) > rightEdge;
            else
              wrap = X + float(SpaceWidth) > rightEdge;
          }
          if (wrap) {
            SubPathStart[size_t(i) + 1] = PathCount();
            NewLine(i + 1, false);
          } else {
            ++SpaceCount;
            X += float(SpaceWidth);
          }
        }
      }
      SubPathStart[size_t(i) + 1] = PathCount();
    }
    if ((Flags & 3) != 0 && !(Flags & DT_SINGLELINE)) AlignLine(LineStart, n, false);
    if (!Path) return;
    if (GHorzStretch != 1)
      for (auto& sub : Path->Path())
        for (TFloatPoint& p : sub) p.X *= GHorzStretchInv;
    const float freeHeight = R.Bottom - (Y + float(Height - Ascent));
    const float dy = (Flags & DT_BOTTOM) ? freeHeight : (Flags & DT_VCENTER) ? freeHeight / 2 : 0;
    if (dy != 0)
      for (auto& sub : Path->Path())
        for (TFloatPoint& p : sub) p.Y += dy;
  }
};

void Setup(TTextLayout& L, const QFont& Font, const TFloatRect& ARect, const std::string& Text, uint32_t Flags) {
  L.Raw = RawFontFor(Font);
  const QFontMetrics m(Font);
  L.Ascent = m.ascent();
  L.Height = m.height();
  L.R = ARect;
  L.Text = QString::fromStdString(Text);
  L.Flags = Flags;
}
}  // namespace

void TextToPath(const QFont& Font, TCustomPath* Path, const TFloatRect& ARect, const std::string& Text,
                uint32_t Flags) {
  if (!Path) return;
  std::unique_ptr<TFlattenedPath> temp;
  TFlattenedPath* fp = dynamic_cast<TFlattenedPath*>(Path);
  if (fp) {
    fp->Clear();
  } else {
    temp = std::make_unique<TFlattenedPath>();
    fp = temp.get();
  }
  TTextLayout L;
  Setup(L, Font, ARect, Text, Flags);
  L.Path = fp;
  fp->BeginUpdate();
  L.Run();
  fp->EndPath(false);
  if (temp) Path->Assign(temp.get());
  fp->EndUpdate();
}

TFloatRect MeasureText(const QFont& Font, const TFloatRect& ARect, const std::string& Text, uint32_t Flags) {
  TTextLayout L;
  Setup(L, Font, ARect, Text, Flags);
  L.Run();
  const float stretch = float(GHorzStretch);
  const TFloatRect r{ARect.Left, ARect.Top, L.MaxXReached / stretch, L.Y + float(L.Height - L.Ascent)};
  return TFloatRect{float(Round(r.Left)), float(Round(r.Top)), float(Round(r.Right)), float(Round(r.Bottom))};
}
