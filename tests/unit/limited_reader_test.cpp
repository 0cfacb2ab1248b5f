#include "settings/limited_reader.h"

#include <cstring>
#include <functional>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "settings/exception_io.h"
#include "support/module_streams.h"

namespace {

std::vector<uint8_t> counting_bytes(size_t n) {
  std::vector<uint8_t> bytes(n);
  std::iota(bytes.begin(), bytes.end(), uint8_t{0});
  return bytes;
}

void expect_truncation(const std::function<void()>& op) {
  try {
    op();
    ADD_FAILURE() << "no exception";
  } catch (const quarlo_io::exception_io_data_truncation& e) {
    EXPECT_STREQ(e.what(), "Unsupported format or corrupted file");
  }
}

TEST(limited_reader, ReadLetsThroughAtMostTheLimit) {
  struct row {
    uint32_t limit, data, count;
    uint32_t asked, got;
  };
  for (const row r : {row{10, 20, 4, 4, 4}, row{10, 20, 10, 10, 10}, row{10, 20, 15, 10, 10},
                      row{10, 6, 8, 8, 6}, row{0, 20, 5, 0, 0}, row{5, 20, 0, 0, 0}}) {
    SCOPED_TRACE(testing::Message() << "limit " << r.limit << " count " << r.count);
    recording_source source(counting_bytes(r.data));
    abort_signal abort;
    limited_reader reader(source, r.limit);
    std::vector<uint8_t> buffer(r.count + 1, 0xEE);
    EXPECT_EQ(reader.read(buffer.data(), r.count, abort), r.got);
    EXPECT_EQ(reader.remaining(), r.limit - r.got);
    EXPECT_EQ(source.calls, (std::vector<stream_call>{{0, r.asked}}));
    for (uint32_t i = 0; i < r.got; ++i) EXPECT_EQ(buffer[i], i);
    EXPECT_EQ(buffer[r.got], 0xEE);
  }
}

TEST(limited_reader, ReadExactShortOfCountThrowsTruncation) {
  struct row {
    uint32_t limit, data, count, asked;
  };
  for (const row r : {row{3, 10, 4, 3}, row{10, 3, 4, 4}}) {
    recording_source source(counting_bytes(r.data));
    abort_signal abort;
    limited_reader reader(source, r.limit);
    uint8_t buffer[8];
    expect_truncation([&] { reader.read_exact(buffer, r.count, abort); });
    EXPECT_EQ(source.calls, (std::vector<stream_call>{{0, r.asked}}));
    EXPECT_EQ(reader.remaining(), r.limit - 3);
  }
}

TEST(limited_reader, ReadExactWithinTheLimitReadsOnce) {
  recording_source source(counting_bytes(10));
  abort_signal abort;
  limited_reader reader(source, 6);
  uint8_t buffer[6];
  reader.read_exact(buffer, 6, abort);
  EXPECT_EQ(std::memcmp(buffer, source.data.data(), 6), 0);
  EXPECT_EQ(source.calls, (std::vector<stream_call>{{0, 6}}));
  EXPECT_EQ(reader.remaining(), 0u);
}

TEST(limited_reader, SkipReadsChunksOfAtMost256) {
  struct row {
    uint32_t limit, data;
    uint64_t count, skipped;
    std::vector<stream_call> calls;
  };
  const std::vector<row> rows = {
      {600, 1000, 600, 600, {{0, 256}, {0, 256}, {0, 88}}},
      {600, 1000, 512, 512, {{0, 256}, {0, 256}}},
      {600, 300, 600, 300, {{0, 256}, {0, 256}}},
      {100, 1000, 600, 100, {{0, 100}}},
      {600, 1000, 0, 0, {}},
      {0, 1000, 5, 0, {{0, 0}}},
      {600, 1000, uint64_t{1} << 33, 600, {{0, 256}, {0, 256}, {0, 88}}},
  };
  for (const row& r : rows) {
    SCOPED_TRACE(testing::Message() << "limit " << r.limit << " skip " << r.count);
    recording_source source(counting_bytes(r.data));
    abort_signal abort;
    limited_reader reader(source, r.limit);
    EXPECT_EQ(reader.skip(r.count, abort), r.skipped);
    EXPECT_EQ(source.calls, r.calls);
    EXPECT_EQ(reader.remaining(), r.limit - r.skipped);
  }
}

TEST(limited_reader, SkipExactShortOfCountThrowsTruncation) {
  for (const uint32_t data : {0u, 10u, 599u}) {
    recording_source source(counting_bytes(data));
    abort_signal abort;
    limited_reader reader(source, 600);
    expect_truncation([&] { reader.skip_exact(600, abort); });
  }
  recording_source source(counting_bytes(1000));
  abort_signal abort;
  limited_reader reader(source, 600);
  reader.skip_exact(600, abort);
  EXPECT_EQ(source.position, 600u);
}

TEST(limited_reader, UsesOnlyTheSourceRead) {
  recording_source source(counting_bytes(1000));
  abort_signal abort;
  source.expect_abort(abort);
  limited_reader reader(source, 700);
  uint8_t buffer[16];
  reader.read(buffer, 16, abort);
  reader.read_exact(buffer, 16, abort);
  reader.skip(300, abort);
  reader.skip_exact(300, abort);
  for (const stream_call& call : source.calls) EXPECT_EQ(call.slot, 0u) << call;
  EXPECT_TRUE(source.abort_passed_on);
  EXPECT_EQ(reader.remaining(), 700u - 632u);
}

TEST(limited_reader, SourceReturningMoreThanAskedCountsAsCorrupt) {
  recording_source source(counting_bytes(100));
  source.overreport_reads(3);
  abort_signal abort;
  limited_reader reader(source, 10);
  uint8_t buffer[32];
  EXPECT_FALSE(reader.overrun());
  expect_truncation([&] { reader.read(buffer, 32, abort); });
  EXPECT_TRUE(reader.overrun());
  EXPECT_EQ(reader.remaining(), 0u);
  // Nothing more passes: the limit did not wrap.
  source.overreport_reads(0);
  EXPECT_EQ(reader.read(buffer, 32, abort), 0u);
  EXPECT_EQ(source.calls.back(), (stream_call{0, 0}));
}

}  // namespace
