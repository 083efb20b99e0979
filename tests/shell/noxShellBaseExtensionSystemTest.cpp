#include "shell/noxShellBaseExtensionSystem.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(Settings, RoundTripAndMissingKeysReadEmpty) {
  TnoxMemorySettingsStore store;
  EXPECT_EQ(RegReadString(&store, KovrelRegistryKey, "LastPlatform"), "");
  EXPECT_FALSE(store.HasKey(KovrelRegistryKey));  // reading creates nothing
  RegWriteString(&store, KovrelRegistryKey, "LastPlatform", "ZX Spectrum");
  RegWriteString(&store, KovrelRegistryKey, "Path", "");
  EXPECT_EQ(RegReadString(&store, KovrelRegistryKey, "LastPlatform"), "ZX Spectrum");
  EXPECT_EQ(RegReadString(&store, KovrelRegistryKey, "Path"), "");
  EXPECT_EQ(RegReadString(&store, KovrelRegistryKey, "LastMode"), "");
  EXPECT_EQ(RegReadString(&store, "Software\\Other", "LastPlatform"), "");
  RegWriteString(&store, KovrelRegistryKey, "LastMode", std::string("ab\0cd", 5));
  EXPECT_EQ(RegReadString(&store, KovrelRegistryKey, "LastMode"), "ab");  // cut at the first NUL
  EXPECT_EQ(RegReadString(nullptr, KovrelRegistryKey, "LastMode"), "");
  try {
    RegWriteString(nullptr, KovrelRegistryKey, "X", "y");
    FAIL();
  } catch (const EOSError& e) {
    EXPECT_EQ(e.ErrorCode, 6u);
  }
}

namespace {

class TFailingStore : public TnoxSettingsStore {
public:
  bool ReadString(const std::string&, const std::string&, std::string&) override { throw EOSError(5, "denied"); }
  void WriteString(const std::string&, const std::string&, const std::string&) override { RegCheck(5); }
};

}  // namespace

TEST(Settings, ReadingNeverRaisesWritingReportsTheStoreError) {
  TFailingStore store;
  EXPECT_EQ(RegReadString(&store, KovrelRegistryKey, "Path"), "");
  EXPECT_THROW(RegWriteString(&store, KovrelRegistryKey, "Path", "x"), EOSError);
  EXPECT_NO_THROW(RegCheck(0));
}

TEST(Settings, CurrentUserKeyIsReplaceable) {
  TnoxMemorySettingsStore store;
  HKEY before = GetCurrentUserKey();
  ASSERT_NE(before, nullptr);
  SetCurrentUserKey(&store);
  RegWriteString(GetCurrentUserKey(), KovrelRegistryKey, "Path", "/tmp");
  EXPECT_EQ(RegReadString(&store, KovrelRegistryKey, "Path"), "/tmp");
  SetCurrentUserKey(nullptr);
  EXPECT_EQ(GetCurrentUserKey(), before);
}

TEST(ExpandEnvironment, ExpandsKnownNamesAndKeepsUnknownOnes) {
  setenv("KV_TEST_ROOT", "/opt/kv", 1);
  unsetenv("KV_TEST_UNSET");
  const struct { const char* in; const char* out; } cases[] = {
      {"plain text", "plain text"},
      {"%KV_TEST_ROOT%/palettes", "/opt/kv/palettes"},
      {"%KV_TEST_UNSET%/x", "%KV_TEST_UNSET%/x"},
      {"%KV_TEST_UNSET%%KV_TEST_ROOT%", "%KV_TEST_UNSET%/opt/kv"},
      {"100% sure", "100% sure"},
      {"%%", "%%"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ExpandEnvironment(c.in), c.out) << c.in;
}

TEST(SystemVersion, HoldsTheFallbackOfAMissingVersionQuery) {
  ReadSystemVersion();
  EXPECT_EQ(GetSystemVersion().Major, 5);
  EXPECT_EQ(GetSystemVersion().Minor, 1);
  EXPECT_EQ(GetSystemVersion().Build, 2600);
  EXPECT_FALSE(IsWindowsVistaOrLater());
}

TEST(ResourceErrors, RaiseOutOfResourcesWithTheCodeText) {
  try {
    RaiseLastResourceError(0);
  } catch (const EOutOfResources& e) {
    EXPECT_EQ(e.Message(), "OutOfResources");
  }
  try {
    RaiseLastResourceError(8);
  } catch (const EOutOfResources& e) {
    EXPECT_EQ(e.Message(), "Not enough memory.");
  }
  int x = 0;
  EXPECT_EQ(ResourceCheck(&x), &x);
  EXPECT_THROW(ResourceCheck(static_cast<int*>(nullptr)), EOutOfMemory);
}
