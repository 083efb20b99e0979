// A converter of the tests that makes every kind of extra file a result can
// have: two flicker frames, and a native file "scr" with a side file "att".
#pragma once

#include <memory>
#include <string>

#include "app/KvDestEngines.h"
#include "app/KvPanelSections.h"
#include "bitmap/B32.h"
#include "core/KvBitmap.h"
#include "core/KvDestEngineOptions.h"
#include "core/KvPalette.h"
#include "core/KvStream.h"

// A native file whose name may not hold blanks: they become underscores.
class TTestStream : public TKvStream {
public:
  using TKvStream::TKvStream;
  void AdjustFileName(std::string& AFileName) override {
    for (char& c : AFileName)
      if (c == ' ') c = '_';
  }
};

// A converter of the tests: black and white by the green channel, two flicker
// frames, a native file "scr" with a side file "att".
class TTestFramesEngine : public TKvDestEngineOf<TTestFramesEngine> {
public:
  static std::string GetPlatformName() { return "Test platform"; }
  static std::string GetModeName() { return "Frames"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override {
    struct TUI : TKvDestEngineUIEx {
      explicit TUI(TKvDestEngineOptions* O) : TKvDestEngineUIEx(O) {
        AddDimensionSection(false);
        AddPositionSection();
        AddDitheringSection(false);
      }
    };
    return std::make_unique<TUI>(AOptions);
  }
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override { return TKvDestEngineOptions::Create(); }
  static std::unique_ptr<TKvBitmap> Convert(bool*, TBitmap32& ABitmap, TKvPalette256*, TKvPalette256*,
                                            TKvDestEngineOptions&, TKvDestProgress&,
                                            std::unique_ptr<TKvStreamList>& AStreams) {
    TKvPalette256 LPalette;
    LPalette.AddRGB(0, 0, 0);
    LPalette.AddRGB(255, 255, 255);
    auto LResult = std::make_unique<TKvBitmap8>(ABitmap.GetWidth(), ABitmap.GetHeight(), &LPalette);
    TKvBitmap* LFrame0 = LResult->AddFrame(&LPalette);
    TKvBitmap* LFrame1 = LResult->AddFrame(&LPalette);
    for (int y = 0; y < ABitmap.GetHeight(); ++y)
      for (int x = 0; x < ABitmap.GetWidth(); ++x) {
        const int v = ((ABitmap.GetScanLine(y)[x] >> 8) & 0xFF) >= 128 ? 1 : 0;
        LResult->SetPixel(x, y, v);
        LFrame0->SetPixel(x, y, v);
        LFrame1->SetPixel(x, y, 1 - v);
      }
    AStreams = std::make_unique<TKvStreamList>();
    auto LStream = std::make_unique<TTestStream>("scr");
    LStream->SetSize(4);
    TKvStream* S = LStream.get();
    AStreams->Add(std::move(LStream));
    S->GetMemory()[0] = 'S';
    S->NewSubStream("att", 2);
    return LResult;
  }
};
