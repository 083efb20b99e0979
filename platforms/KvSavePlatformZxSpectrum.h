// The converters of the "ZX Spectrum" platform: the standard attribute
// screen (with its black-and-white form), the 8x2 multicolour screen and the
// three-bitmap tricolour screen, and the platform's ordered mode list.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/KvImage.h"
#include "platforms/KvSavePlatformZxSpectrumCommon.h"

// "256x192x4": Linear palette, colour mode, 90% error diffusion.
class TKvZxSpectrumColorEngineOptions : public TKvZxSpectrumEngineOptions {
public:
  TKvZxSpectrumColorEngineOptions();
  void UpdatePalette() override;
};

// The bitmap alone, 6144 bytes, a set bit dark: the light colour (non-zero)
// clears the bit. No attributes.
class TKvZxSpectrumBWScreen : public TKvCellScreen {
public:
  explicit TKvZxSpectrumBWScreen(void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
  int GetAttr(int, int) override { return 0; }
  void SetAttr(int, int, int) override {}
};

class TKvZxSpectrumColorEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvZxSpectrumColorEngineUI(TKvDestEngineOptions* AOptions);
};

class TKvZxSpectrumEngine : public TKvDestEngineOf<TKvZxSpectrumEngine> {
public:
  static std::string GetPlatformName() { return "ZX Spectrum"; }
  static std::string GetModeName() { return "256x192x4"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};

class TKvZxSpectrumMultiColor2EngineOptions : public TKvZxSpectrumMultiColor1EngineOptions {
public:
  int32_t GetCellHeight() const override { return 2; }
};

class TKvZxSpectrumMultiColor2Engine : public TKvDestEngineOf<TKvZxSpectrumMultiColor2Engine> {
public:
  static std::string GetPlatformName() { return "ZX Spectrum"; }
  static std::string GetModeName() { return "256x192x4 Multicolor 8x2"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};

// ---------------------------------------------------------------------------
// Tricolour: three bitmaps, red, green and blue, shown in turn.

class TKvZxSpectrumTricolorEngineOptions : public TKvZxSpectrumEngineOptions {
public:
  TKvZxSpectrumTricolorEngineOptions();
  int32_t GetCellWidth() const override { return 1; }
  int32_t GetCellHeight() const override { return 1; }
  void UpdatePalette() override;
};

// 18432 bytes: red plane (index bit 1), green plane (bit 2), blue plane
// (bit 0), each in the Spectrum bitmap layout.
class TKvZxSpectrumTricolorScreen : public TKvScreen4 {
public:
  explicit TKvZxSpectrumTricolorScreen(void* AData);
  int GetPixel(int X, int Y) override;
  void SetPixel(int X, int Y, int AColor) override;
};

class TKvZxSpectrumTricolorImage : public TKvImage {
public:
  using TKvImage::TKvImage;
  std::unique_ptr<TKvBitmap> ConvertTricolor(bool* AAbort, TKvDestEngineOptions& AOptions,
                                             TKvZxSpectrumTricolorScreen* ATarget);
};

class TKvZxSpectrumTricolorEngineUI : public TKvDestEngineUIEx {
public:
  explicit TKvZxSpectrumTricolorEngineUI(TKvDestEngineOptions* AOptions);
};

class TKvZxSpectrumTricolorEngine : public TKvDestEngineOf<TKvZxSpectrumTricolorEngine> {
public:
  static std::string GetPlatformName() { return "ZX Spectrum"; }
  static std::string GetModeName() { return "256x192x3 Tricolor"; }
  std::unique_ptr<TKvDestEngineUI> CreateUI(TKvDestEngineOptions* AOptions) override;
  std::unique_ptr<TKvDestEngineOptions> CreateOptions() override;
  static std::unique_ptr<TKvBitmap> Convert(bool* AAbort, TBitmap32& ABitmap, TKvPalette256* APalette,
                                            TKvPalette256* APalette2, TKvDestEngineOptions& AOptions,
                                            TKvDestProgress& AProgress, std::unique_ptr<TKvStreamList>& AStreams);
};

// The modes of the "ZX Spectrum" platform in list order.
const std::vector<const TKvDestEngineClass*>& ZxSpectrumDestEngineClasses();
// Unit start-up: registers them in that order.
void InitKvSavePlatformZxSpectrum();
