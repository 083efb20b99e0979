#include "shell/qt/noxShellSettingsStore.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

TEST(TnoxIniSettingsStore, RoundTripThroughTheFileWithMissingKeysEmpty) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString file = dir.filePath("sub/Kovrel.ini");
  {
    TnoxIniSettingsStore store(file);
    EXPECT_EQ(RegReadString(&store, KovrelRegistryKey, "LastMode"), "");
    EXPECT_FALSE(QFile::exists(file));  // reading creates nothing
    RegWriteString(&store, KovrelRegistryKey, "LastPlatform", "ZX Spectrum");
    RegWriteString(&store, KovrelRegistryKey, "PalettePath", "/home/u/Палитры");
  }
  EXPECT_TRUE(QFile::exists(file));
  TnoxIniSettingsStore again(file);
  EXPECT_EQ(RegReadString(&again, KovrelRegistryKey, "LastPlatform"), "ZX Spectrum");
  EXPECT_EQ(RegReadString(&again, KovrelRegistryKey, "PalettePath"), "/home/u/Палитры");
  EXPECT_EQ(RegReadString(&again, KovrelRegistryKey, "LastMode"), "");
  EXPECT_EQ(RegReadString(&again, "Software\\Noxwell Software\\Other", "LastPlatform"), "");
  EXPECT_TRUE(TnoxIniSettingsStore::DefaultFileName().endsWith("Noxwell Software/Kovrel.ini"));
}
