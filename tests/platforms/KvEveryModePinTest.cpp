// Pins every registered mode: each converts a fixed picture of its default
// size with its default options, and a hash of the preview, its frames and
// its native files must match the table below. The table covers the whole
// registry, so a mode that disappears or a new one without a row fails too.
//
// After an intended change of results, print fresh rows with
//   KV_PRINT_MODE_PINS=1 build/tests/kv_platforms_tests --gtest_filter='KvEveryModePin.*'
// and paste them over the table.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <set>
#include <string>
#include <utility>

#include "app/KvDestEngines.h"
#include "core/KvDestEngineOptions.h"
#include "platforms/ConversionHash.h"
#include "platforms/KvPlatformUnits.h"
#include "platforms/TI99TestClock.h"

namespace {

struct TModePin {
  const char* Platform;
  const char* Mode;
  uint64_t Hash;
};

extern const TModePin ModePins[];
extern const int ModePinCount;

const TKvDestEngineClass* FindMode(const std::string& APlatform, const std::string& AMode) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  for (int p = 0; p < list.GetCount(); ++p) {
    if (list.GetString(p) != APlatform) continue;
    const TKvDestSubTypes& modes = list.GetSubTypes(p);
    for (int m = 0; m < modes.GetCount(); ++m)
      if (modes.GetString(m) == AMode) return modes.GetObject(m);
  }
  return nullptr;
}

uint64_t HashMode(const TKvDestEngineClass& AClass) {
  // Files that carry a creation stamp get a fixed one.
  TKvTiTestClock clock({2024, 5, 6, 7, 8, 9});
  auto engine = AClass.Create();
  auto options = engine->CreateOptions();
  // Modes without a size of their own take the picture's; give them one.
  if (options->GetWidth() <= 0 || options->GetHeight() <= 0) {
    options->SetWidth(160);
    options->SetHeight(120);
  }
  auto picture = PinPicture(0, options->GetWidth(), options->GetHeight());
  return HashConversion(AClass, *options, *picture);
}

std::string Hex(uint64_t AValue) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llxull", static_cast<unsigned long long>(AValue));
  return text;
}

// The registry and the table name the same modes, each once.
TEST(KvEveryModePin, TableCoversTheRegistry) {
  InitializePlatforms();
  TKvDestEngineList& list = DestEngineList();
  std::set<std::pair<std::string, std::string>> registered, pinned;
  for (int p = 0; p < list.GetCount(); ++p)
    for (int m = 0; m < list.GetSubTypes(p).GetCount(); ++m)
      EXPECT_TRUE(registered.emplace(list.GetString(p), list.GetSubTypes(p).GetString(m)).second)
          << "registered twice: " << list.GetString(p) << " / " << list.GetSubTypes(p).GetString(m);
  for (int i = 0; i < ModePinCount; ++i)
    EXPECT_TRUE(pinned.emplace(ModePins[i].Platform, ModePins[i].Mode).second)
        << "pinned twice: " << ModePins[i].Platform << " / " << ModePins[i].Mode;
  for (const auto& [platform, mode] : registered)
    EXPECT_TRUE(pinned.count({platform, mode})) << "no pin for " << platform << " / " << mode;
  for (const auto& [platform, mode] : pinned)
    EXPECT_TRUE(registered.count({platform, mode})) << "pinned but not registered: " << platform << " / " << mode;

  if (std::getenv("KV_PRINT_MODE_PINS"))
    for (int p = 0; p < list.GetCount(); ++p)
      for (int m = 0; m < list.GetSubTypes(p).GetCount(); ++m)
        std::printf("    {\"%s\", \"%s\", %s},\n", list.GetString(p).c_str(), list.GetSubTypes(p).GetString(m).c_str(),
                    Hex(HashMode(*list.GetSubTypes(p).GetObject(m))).c_str());
}

class KvEveryModePin : public ::testing::TestWithParam<int> {};

TEST_P(KvEveryModePin, SameBytes) {
  const TModePin& pin = ModePins[GetParam()];
  const TKvDestEngineClass* cls = FindMode(pin.Platform, pin.Mode);
  ASSERT_NE(cls, nullptr) << "not registered: " << pin.Platform << " / " << pin.Mode;
  const uint64_t h = HashMode(*cls);
  EXPECT_EQ(h, pin.Hash) << pin.Platform << " / " << pin.Mode << ": " << Hex(h);
}

// Test names carry the platform and mode, so a failing row reads at once.
std::string PinName(const ::testing::TestParamInfo<int>& AInfo) {
  const TModePin& pin = ModePins[AInfo.param];
  std::string name = std::to_string(AInfo.param) + "_" + pin.Platform + "_" + pin.Mode;
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Modes, KvEveryModePin, ::testing::Range(0, ModePinCount), PinName);

// Recorded from the converters as they stood before the engines' declarations
// were reworked.
const TModePin ModePins[] = {
    {"Common", "B/W", 0xddf484ae9bc66586ull},
    {"Common", "Palette", 0x7f17731b9b0cb0cdull},
    {"Common", "Original palette", 0x4ecedb87287baeccull},
    {"Agat", "64x64x4", 0x33f2acbac832b3b1ull},
    {"Agat", "64x64x8 Gigascreen", 0xa2ed7e6a908b12f8ull},
    {"Agat", "128x128x4", 0xe52afc978943e5e9ull},
    {"Agat", "128x128x8 Gigascreen", 0x6893ca054716a79dull},
    {"Agat", "128x128x4 HAM", 0x9bf6cc1a32aaec80ull},
    {"Agat", "128x256x4", 0xe65cb78163ba2e0cull},
    {"Agat", "128x256x8 Gigascreen", 0x1979fd92dc04dd83ull},
    {"Agat", "256x256x1", 0xcf04ee7e1fad836dull},
    {"Agat", "256x256x2 Gigascreen", 0x47710c8b2b2291caull},
    {"Agat", "256x256x2", 0x825819449069efe5ull},
    {"Agat", "256x256x4 Gigascreen", 0x7fb1eb6b9a90cefcull},
    {"Agat", "512x256x1", 0x9f702172ecb9efaaull},
    {"Agat", "512x256x2 Gigascreen", 0x04c398f28e33ad6eull},
    {"Amstrad CPC", "0 160x200x4", 0x3371de7b51917ceeull},
    {"Amstrad CPC", "0 192x272x4 overscan", 0xa13f7f24ee554427ull},
    {"Amstrad CPC", "1 320x200x2", 0x505945b6cfb19d24ull},
    {"Amstrad CPC", "1 384x272x2 overscan", 0x0978fe95057b01cbull},
    {"Amstrad CPC", "2 640x200x1", 0x44c06ecb77f17c54ull},
    {"Amstrad CPC", "2 768x272x1 overscan", 0x4f696dc18eee2853ull},
    {"Amstrad CPC", "2 512x256x1", 0x8baade011a4c10dbull},
    {"Amstrad CPC", "B0 192x272x8", 0xc06e1761a1fbb71cull},
    {"Amstrad CPC", "B1 384x272x4", 0xbf73f2a40f286ea8ull},
    {"ATM Turbo", "320x200x4", 0xdf3b8f136c3a3a15ull},
    {"ATM Turbo", "640x200x4", 0xabeb2412ebcabc43ull},
    {"BBC Micro", "0 640x256x1", 0xd8be462fe1e9e543ull},
    {"BBC Micro", "1 320x256x2", 0x777c8e4c6d5d0e2dull},
    {"BBC Micro", "2 160x256x4", 0xf6b7c023c6346d34ull},
    {"BBC Micro", "4 320x256x1", 0xe1194cc230b5e763ull},
    {"BBC Micro", "5 160x256x2", 0x54f89c95a016d519ull},
    {"BK-0011", "256x256x2", 0xcfa29073f4441980ull},
    {"BK-0011", "256x256x4 Gigascreen", 0x8c7ce9a9c648adb8ull},
    {"BK-0011", "512x256x1", 0x049370aa54178583ull},
    {"BK-0011", "512x256x2 Gigascreen", 0x4e360d541d61f307ull},
    {"Corvette", "512x256x3", 0xe014ae6099944f34ull},
    {"DVK KCGD", "400x240x4", 0xdcb3c5ae08538785ull},
    {"Elektronika MC 0515", "320x200x4", 0x57b1d60a007f21a7ull},
    {"Elektronika MC 0515", "640x200x1", 0xae5e7ea88bee3eb1ull},
    {"Elektronika KR-04", "240x224x2 EGA", 0x9b60563374b4c6fdull},
    {"Elektronika KR-04", "240x224x4 EGA Gigascreen", 0xab118c51f4098dfdull},
    {"Elektronika KR-04", "240x224x2 BRGB", 0xac32d5bb1ad8eab3ull},
    {"Elektronika KR-04", "240x224x4 BRGB Gigascreen", 0xba38b75e0b45c1d8ull},
    {"Elektronika KR-04", "480x224x1", 0x69bb6cb9e1bc00fbull},
    {"Elektronika KR-04", "480x224x2 Gigascreen", 0x85725c89ad3f7247ull},
    {"eLeMeNt ZX", "256x192x4", 0x566fab4783b926ccull},
    {"eLeMeNt ZX", "256x192x4 Layed", 0x03c84563067d0ae6ull},
    {"eLeMeNt ZX", "512x192x4 HRC", 0xc2bfa8af419257c5ull},
    {"eLeMeNt ZX", "512x192x4 HRC Layer", 0xd684e1f67ab72877ull},
    {"eLeMeNt ZX", "512x192x4 HRXC", 0x2657c5c74f1ea796ull},
    {"eLeMeNt ZX", "512x192x4 HRXC Layed", 0xd4b7fbb07af96ff6ull},
    {"IBM", "CGA 320x200x2", 0xedfe280efff4663full},
    {"IBM", "CGA 640x200x1", 0xa33de8f33d158b00ull},
    {"IBM", "EGA 320x200x4", 0xdf3b8f136c3a3a15ull},
    {"IBM", "EGA 640x200x4", 0x04c0c3507c2cd707ull},
    {"IBM", "EGA 640x350x4", 0x60bacc529f81438full},
    {"IBM", "VGA 320x200x8", 0x4d3d70b5a039d8c3ull},
    {"IBM", "VGA 640x480x4", 0x94525384bd2203eeull},
    {"Irisha", "320x200x1", 0x6c07b066ca36927full},
    {"Irisha", "640x200x1", 0xe6e7baf7683fb458ull},
    {"Lvov", "200x225x2", 0xb15f66c10fc7dcfbull},
    {"Lvov", "256x256x2", 0x30508fd3eb9a566dull},
    {"MSX", "2 256x192x4", 0x655dfc3fb546d420ull},
    {"MSX", "3 64x48x4", 0x033db02da80f49b6ull},
    {"MSX", "4 256x192x4", 0xe965ee03a49ed80full},
    {"MSX", "5 256x212x4", 0xb701b497cdeeadadull},
    {"MSX", "5 256x424x4 Interlaced", 0x264aa8d5e7cb2c8bull},
    {"MSX", "6 512x212x2", 0x03b61ca0c78a061cull},
    {"MSX", "6 512x424x2 Interlaced", 0xcd3838d780015275ull},
    {"MSX", "7 512x212x4", 0xa52cd9452713b422ull},
    {"MSX", "7 512x424x4 Interlaced", 0xfb016c5bce186ad3ull},
    {"MSX", "8 256x212x8", 0x9225458196e6de93ull},
    {"MSX", "8 256x424x8 Interlaced", 0x0d881818d0dc0495ull},
    {"MSX", "10 256x212x12", 0x4b10964eadeeba50ull},
    {"MSX", "10 256x424x12 Interlaced", 0x7fe07b3ed4ee9406ull},
    {"MSX", "12 256x212x15", 0x26cb7708f893e0abull},
    {"MSX", "12 256x424x15 Interlaced", 0x52867be4490d704dull},
    {"MSX V9990 VDP", "BP2 256x212x2", 0xae13d90d866fcc26ull},
    {"MSX V9990 VDP", "BP4 256x212x4", 0xe424cbb83917a73aull},
    {"MSX V9990 VDP", "BP6 256x212x6", 0xf5e3b4925ae54df0ull},
    {"MSX V9990 VDP", "BD8 256x212x8", 0x4f2e84d17a9d1d67ull},
    {"MSX V9990 VDP", "BYJK 256x212x8", 0xaeadc0821c936604ull},
    {"MSX V9990 VDP", "BYUV 256x212x8", 0x98774d6e5a5950b6ull},
    {"MSX V9990 VDP", "BD16 256x212x16", 0x9cdcca28121bc87aull},
    {"Okean-240", "256x256x2", 0x4701895be041a99aull},
    {"Okean-240", "256x256x4 Gigascreen", 0x4c7113f6c5056e5dull},
    {"Okean-240", "512x256x1", 0x758061f9042693abull},
    {"Okean-240", "512x256x2 Gigascreen", 0x1cdae6b5ef24e2a0ull},
    {"PC8000", "256x192x4", 0xf965bcf228c38ff5ull},
    {"Pico-8", "128x128x4", 0x8ad5cd3d3e0cc4fbull},
    {"PMD 85", "288x256x2", 0xf8b3907fa231d3abull},
    {"PMD 85", "288x256x2 ColorAce", 0x4f40088e57ee94dcull},
    {"PP01", "256x256x3", 0x720eb32d7ad1a8dcull},
    {"Profi", "512x240x4", 0x8d435d267c48dc98ull},
    {"SAM Coupé", "3 512x192x2", 0xbb5329c9ceaaafbaull},
    {"SAM Coupé", "4 256x192x4", 0x07678cf7a470031eull},
    {"SAM Coupé", "4 256x384x4 Interlaced", 0x56ce97110e620001ull},
    {"SAM Coupé", "4 256x192x4 HAM1/127", 0x04d172fcfbbdef49ull},
    {"Scorpion GMX", "640x200x4", 0xaf5bbfe2ec404efeull},
    {"Scorpion GMX", "160x200x4", 0xefddae0acbb09c97ull},
    {"Sinclair QL", "QL 4 512x256x2", 0x07c2d9bf4060ee2bull},
    {"Sinclair QL", "QL 8 256x256x3", 0x2ff2402b7b3aff81ull},
    {"Sinclair QL", "GD2 16 512x480x8", 0xb54d52779b62dce7ull},
    {"Sinclair QL", "GD2 32 512x480x16", 0x19e80d2a2a5c3661ull},
    {"Sinclair QL", "GD2 33 512x480x16", 0xa3f68228f64f053bull},
    {"Specialist", "384x256", 0xea2af6044f99fbf6ull},
    {"Specialist", "384x256 MX", 0xbbaabd64a215fb98ull},
    {"SymbOS", "", 0xe8a531f20ce9da4bull},
    {"TI-99/4A", "9918A 256x192x4", 0xb19ab0f9abceb7feull},
    {"TI-99/4A", "9918A 64x192x4", 0x1cc6576947163fa0ull},
    {"TI-99/4A", "9918A 64x48x4", 0xfa9476a89cc8cd22ull},
    {"TI-99/4A", "9918A 64x48x8 Dual", 0x3451dd357c6aec9cull},
    {"TI-99/4A", "F18A 256x192x4", 0xaa9a0b4873bfbef5ull},
    {"TI-99/4A", "F18A 256x192x4 Scanline", 0xb7539aa7daf670d0ull},
    {"TI-99/4A", "V9938 512x192x4 G6", 0xb821eeff33b9460eull},
    {"TI-99/4A", "V9938 512x212x4 G6", 0x38e5f5f03eca7756ull},
    {"TI-99/4A", "V9938 512x424x4 G6 Interlaced", 0xad058ef5d470b578ull},
    {"TI-99/4A", "V9938 256x192x8 G7", 0xc320936ed804ad32ull},
    {"TI-99/4A", "V9938 256x212x8 G7", 0xfc618c9f7fc0bb78ull},
    {"TI-99/4A", "V9938 256x424x8 G7 Interlaced", 0x7452a408792fbccaull},
    {"Timex", "256x192x4", 0xd509a45e39c2b6bdull},
    {"Timex", "256x384x4 Interlaced", 0x52b65c24bbff6fcaull},
    {"Timex", "512x192x1", 0x7d6b3d7d1318d0d7ull},
    {"Timex", "512x192x2", 0x296859586fc3db1eull},
    {"UKNC", "640x288x3", 0xb7e3313edaa5d7dcull},
    {"Vector-06C", "256x256x4", 0xab2e54045c1fb7daull},
    {"Vector-06C", "256x256x4 HAM1", 0x6e75a8bf0a7bdd09ull},
    {"Vector-06C", "256x256x4 HAM2", 0xb35c6aba89999d01ull},
    {"ZX Evolution", "256x192x4", 0x7045bbf0b663c550ull},
    {"ZX Evolution", "256x192x8", 0x77418c349f591619ull},
    {"ZX Evolution", "320x200x4", 0xf421f36b7671730aull},
    {"ZX Evolution", "320x200x8", 0x42aaf568cdf2ef21ull},
    {"ZX Evolution", "320x240x4", 0x9c75108a4fbec11eull},
    {"ZX Evolution", "320x240x8", 0x09e37270147d74b6ull},
    {"ZX Evolution", "360x288x4", 0xa761c72a9b1bbdfdull},
    {"ZX Evolution", "360x288x8", 0x06eadf582dcb9eb4ull},
    {"ZX Spectrum", "256x192x4", 0x87f09536e1a11bf0ull},
    {"ZX Spectrum", "256x384x4 Interlaced v1", 0x0d363d2645fe4bfaull},
    {"ZX Spectrum", "256x384x4 Interlaced v2", 0xd50d954ab9d18129ull},
    {"ZX Spectrum", "256x192x4 Multicolor 8x1", 0xa457a3e2dfd181b9ull},
    {"ZX Spectrum", "256x192x4 Multicolor 8x2", 0xb5ab48735c4ec7d7ull},
    {"ZX Spectrum", "256x192x4 B/W Giga", 0xc611d15d4eeaa26dull},
    {"ZX Spectrum", "256x192x4 Giga", 0xa9f57b256aaf6e84ull},
    {"ZX Spectrum", "256x192x4 MultiGiga 8x4", 0x4e22df288e7f5bf0ull},
    {"ZX Spectrum", "256x192x4 MultiGiga 8x2", 0xbbe4f90d967c43ddull},
    {"ZX Spectrum", "256x192x4 MultiGiga 8x1", 0x3c39b5d1c75db325ull},
    {"ZX Spectrum", "256x192x3 Tricolor", 0xbf815f1e6a05d922ull},
    {"ZX Spectrum Next", "256x192x8", 0xddd275f2154871c6ull},
    {"ZX Spectrum Spectra", "256x192 (8x1)", 0xbb67cab53d2a7fd0ull},
    {"ZX Spectrum Spectra", "256x192 (8x2)", 0xd4b7ce29c65db735ull},
    {"ZX Spectrum Spectra", "256x192 (8x4)", 0x8eb4251f8a6f8137ull},
    {"ZX Spectrum Spectra", "256x192 (8x8)", 0x9884af4f0b574ab8ull},
    {"ZX Spectrum Spectra", "256x192 (4x1)", 0xe7389e5eed500820ull},
    {"ZX Spectrum Spectra", "256x192 (4x2)", 0x4425e51ed3695d7dull},
    {"ZX Spectrum Spectra", "256x192 (4x4)", 0xf11ede23792ebc54ull},
    {"ZX Spectrum Spectra", "256x192 (4x8)", 0x9d95ab7684b3eeffull},
    {"ZX Spectrum UlaPlus", "256x192x8 (8x8)", 0x289cd4515fd7450dull},
    {"ZX Spectrum UlaPlus", "256x192x8 (8x1)", 0x505bfa41b8e6aef9ull},
};
const int ModePinCount = static_cast<int>(std::size(ModePins));

}  // namespace
