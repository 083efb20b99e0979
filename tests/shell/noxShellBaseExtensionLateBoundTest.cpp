#include "shell/noxShellBaseExtensionLateBound.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

TEST(LateBound, EveryWrapperGivesItsFallback) {
  EXPECT_EQ(GetWindowDpi(nullptr), 96);
  EXPECT_EQ(ScaledSystemMetric(SM_CXVSCROLL, 192), ScaledSystemMetric(SM_CXVSCROLL, 96));
  EXPECT_EQ(ScaledSystemMetric(SM_CXVSCROLL, 96), 17);
  EXPECT_EQ(GetThreadDpiContext(), nullptr);
  EXPECT_EQ(SetThreadDpiContext(reinterpret_cast<DPI_AWARENESS_CONTEXT>(-4)), nullptr);
  EXPECT_FALSE(DpiContextsEqual(nullptr, nullptr));
  DPI_AWARENESS_CONTEXT saved = EnterDpiContext(reinterpret_cast<DPI_AWARENESS_CONTEXT>(-2));
  EXPECT_EQ(saved, nullptr);
  RestoreDpiContext(saved);
  EXPECT_EQ(saved, nullptr);

  void* folder = reinterpret_cast<void*>(1);
  PItemIDList last = reinterpret_cast<PItemIDList>(1);
  EXPECT_EQ(static_cast<uint32_t>(ShellBindToParent(nullptr, &IID_IUnknown, &folder, &last)), 0x80004001u);
  EXPECT_EQ(folder, nullptr);
  EXPECT_EQ(last, nullptr);
  void* item = reinterpret_cast<void*>(1);
  EXPECT_EQ(ShellCreateItemFromParsingName("/tmp", nullptr, &IID_IUnknown, &item), E_NOTIMPL);
  EXPECT_EQ(item, nullptr);
  item = reinterpret_cast<void*>(1);
  EXPECT_EQ(ShellCreateItemArrayFromDataObject(nullptr, &IID_IUnknown, &item), E_NOTIMPL);
  EXPECT_EQ(item, nullptr);
  EXPECT_EQ(ShellGetStockIconInfo(80, 0, nullptr), E_NOTIMPL);
  EXPECT_EQ(ShellILCombine(nullptr, nullptr), nullptr);
  EXPECT_EQ(BrowseForFolder(nullptr), nullptr);
}

TEST(LateBound, EachLibraryIsLookedForOnceAcrossThreads) {
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i)
    threads.emplace_back([] {
      LoadUser32Entries();
      LoadShell32Entries();
      LoadWindowsCodecsEntries();
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(LateBoundLoadCount(), 3);
  EXPECT_FALSE(LoadWindowsCodecsEntries());
  EXPECT_EQ(LateBoundLoadCount(), 3);
}
