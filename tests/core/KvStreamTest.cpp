#include "core/KvStream.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

// A platform-like stream that writes the saved name into its header and
// records its own destruction.
struct TNamedStream : TKvStream {
  TNamedStream(std::vector<std::string>* ALog, std::string AId)
      : TKvStream("hdr"), Log(ALog), Id(std::move(AId)) {
    SetSize(8);
  }
  ~TNamedStream() override { Log->push_back(Id); }
  void StoreFileName(const std::string& AFileName) override {
    const std::string n = AFileName.substr(0, 8);
    SetPosition(0);
    WriteBuffer(n.data(), static_cast<int64_t>(n.size()));
  }
  std::vector<std::string>* Log;
  std::string Id;
};

}  // namespace

TEST(KvStreamList, NewStreamsAreZeroOrFilledAtPositionZero) {
  TKvStreamList list;
  EXPECT_EQ(list.GetCount(), 0);
  TKvStream* scr = list.NewStream("scr", 6912);
  TKvStream* pal = list.NewStream("pal", 0);
  TKvStream* bin = list.NewStreamFilled("bin", 4, 255);
  ASSERT_EQ(list.GetCount(), 3);
  EXPECT_EQ(scr->GetSize(), 6912);
  EXPECT_EQ(scr->GetPosition(), 0);
  EXPECT_EQ(scr->GetMemory()[0], 0);
  EXPECT_EQ(scr->GetMemory()[6911], 0);
  EXPECT_EQ(pal->GetSize(), 0);
  EXPECT_EQ(std::vector<uint8_t>(bin->GetMemory(), bin->GetMemory() + 4), std::vector<uint8_t>(4, 0xFF));
  EXPECT_EQ(list.GetExtension(0), "scr");
  EXPECT_EQ(list.GetStream(2), bin);
  EXPECT_EQ(scr->GetSubStreamCount(), 0);
}

TEST(KvStreamList, OwnsStreamsAndSubStreamsOnce) {
  std::vector<std::string> log;
  {
    TKvStreamList list;
    auto main = std::make_unique<TNamedStream>(&log, "main");
    main->AddSubStream(std::make_unique<TNamedStream>(&log, "sub1"));
    TKvStream* pal = main->NewSubStream("pal", 32);
    EXPECT_EQ(pal->GetSize(), 32);
    EXPECT_EQ(list.Add(std::move(main)), 0);
    list.Add(std::make_unique<TNamedStream>(&log, "second"));
    TKvStream* s = list.GetStream(0);
    ASSERT_EQ(s->GetSubStreamCount(), 2);
    EXPECT_EQ(s->GetSubStream(1), pal);
    // The hooks as the saving code calls them.
    std::string name = "picture";
    s->AdjustFileName(name);
    EXPECT_EQ(name, "picture");
    s->StoreFileName(name);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s->GetMemory()), 7), "picture");
  }
  // Each exactly once, first to last, a stream's sub-streams with it.
  EXPECT_EQ(log, (std::vector<std::string>{"main", "sub1", "second"}));
}
