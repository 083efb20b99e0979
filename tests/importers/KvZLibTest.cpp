#include <gtest/gtest.h>
#include <zlib.h>

#include <vector>

#include "importers/KvZLib.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Deflate(const Bytes& AData) {
  z_stream s{};
  EXPECT_EQ(deflateInit(&s, Z_BEST_COMPRESSION), Z_OK);
  Bytes out(deflateBound(&s, static_cast<uLong>(AData.size())));
  s.next_in = const_cast<Bytef*>(AData.data());
  s.avail_in = static_cast<uInt>(AData.size());
  s.next_out = out.data();
  s.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(deflate(&s, Z_FINISH), Z_STREAM_END);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

Bytes Sample(size_t ASize) {
  Bytes d(ASize);
  for (size_t i = 0; i < ASize; ++i) d[i] = static_cast<uint8_t>((i * 7) ^ (i >> 5));
  return d;
}

TEST(KvZLib, InflatesUntilTheDestinationIsFull) {
  const Bytes data = Sample(20000);
  const Bytes packed = Deflate(data);
  Bytes out(data.size(), 0xCC);
  ASSERT_TRUE(InflateBuffer(packed.data(), out.data(), packed.size(), out.size()));
  EXPECT_EQ(out, data);
  // A stream longer than the destination fills it and succeeds.
  Bytes head(6912);
  ASSERT_TRUE(InflateBuffer(packed.data(), head.data(), packed.size(), head.size()));
  EXPECT_EQ(head, Bytes(data.begin(), data.begin() + 6912));
  // A stream shorter than the destination does not.
  Bytes more(data.size() + 1);
  EXPECT_FALSE(InflateBuffer(packed.data(), more.data(), packed.size(), more.size()));
}

TEST(KvZLib, BadStreamsGiveFalse) {
  const Bytes data = Sample(20000);
  const Bytes packed = Deflate(data);
  Bytes out(data.size());
  // Cut anywhere before its end.
  for (size_t n : {size_t{0}, size_t{1}, size_t{2}, size_t{10}, packed.size() / 2, packed.size() - 40})
    EXPECT_FALSE(InflateBuffer(packed.data(), out.data(), n, out.size())) << n;
  // A damaged header, a raw deflate stream without one, and garbage.
  Bytes header = packed;
  header[0] ^= 0x0F;
  EXPECT_FALSE(InflateBuffer(header.data(), out.data(), header.size(), out.size()));
  Bytes raw(packed.begin() + 2, packed.end());
  EXPECT_FALSE(InflateBuffer(raw.data(), out.data(), raw.size(), out.size()));
  const Bytes garbage(5000, 0xFF);
  EXPECT_FALSE(InflateBuffer(garbage.data(), out.data(), garbage.size(), out.size()));
  // Damage inside the compressed blocks.
  Bytes body = packed;
  for (size_t i = 4; i < body.size(); i += 3) body[i] ^= 0x55;
  EXPECT_FALSE(InflateBuffer(body.data(), out.data(), body.size(), out.size()));
  EXPECT_FALSE(InflateBuffer(packed.data(), out.data(), packed.size(), 0));
  EXPECT_FALSE(InflateBuffer(nullptr, out.data(), packed.size(), out.size()));
}

}  // namespace
