#include "rtl/KvSysUtils.h"

#include <gtest/gtest.h>

TEST(Rounding, HalvesGoToEven) {
  const struct { double in; int64_t round, trunc, floor; } cases[] = {
      {0.5, 0, 0, 0},   {1.5, 2, 1, 1},     {2.5, 2, 2, 2},
      {-0.5, 0, 0, -1}, {-1.5, -2, -1, -2}, {2.4999, 2, 2, 2},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Round(c.in), c.round) << c.in;
    EXPECT_EQ(Trunc(c.in), c.trunc) << c.in;
    EXPECT_EQ(Floor(c.in), c.floor) << c.in;
  }
}

TEST(Exceptions, SilentAbortHasNoMessageAndIsAnException) {
  try {
    Abort();
  } catch (const Exception& e) {
    EXPECT_NE(dynamic_cast<const EAbort*>(&e), nullptr);
    EXPECT_EQ(e.Message(), "");
  }
  EOutOfResources r("GDI");
  EXPECT_NE(dynamic_cast<EOutOfMemory*>(&r), nullptr);
}

class TAssignTestSource : public TPersistent {};
class TAssignTestDest : public TPersistent {};

TEST(Persistent, UnknownPairsFailNamingBothClasses) {
  TAssignTestSource S;
  TAssignTestDest D;
  try {
    D.Assign(&S);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TAssignTestSource to a TAssignTestDest");
  }
  try {
    D.Assign(nullptr);
    FAIL() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a nil to a TAssignTestDest");
  }
}

// Only the last name has an extension, and only its last dot starts it.
TEST(FileNames, SplitAtTheLastDelimiterAndTheLastDotOfTheName) {
  const struct {
    const char* name;
    const char* changed;  // ChangeFileExt(name, ".x")
    const char* file;
    const char* path;
    const char* ext;
  } cases[] = {
      {"/out/pic.odd.ss4", "/out/pic.odd.x", "pic.odd.ss4", "/out/", ".ss4"},
      {"/a.b/pic", "/a.b/pic.x", "pic", "/a.b/", ""},
      {"pic.", "pic.x", "pic.", "", "."},
      {"pic", "pic.x", "pic", "", ""},
      {"/out/", "/out/.x", "", "/out/", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChangeFileExt(c.name, ".x"), c.changed) << c.name;
    EXPECT_EQ(ExtractFileName(c.name), c.file) << c.name;
    EXPECT_EQ(ExtractFilePath(c.name), c.path) << c.name;
    EXPECT_EQ(ExtractFileExt(c.name), c.ext) << c.name;
  }
}
