#include "settings/generic_byte_source.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "settings/exception_io.h"

namespace {

// A source that overrides skip as well as read, so the generic operations show
// whether they reach both through the table. Every read fills what it returns.
class logging_source final : public generic_byte_source {
 public:
  uint32_t read(void* buffer, uint32_t count, abort_signal&) override {
    log.push_back("read " + std::to_string(count));
    const uint32_t n = std::min(count, read_yields);
    std::fill_n(static_cast<char*>(buffer), n, 'r');
    return n;
  }
  uint64_t skip(uint64_t count, abort_signal&) override {
    log.push_back("skip " + std::to_string(count));
    return std::min(count, skip_yields);
  }

  uint32_t read_yields = 16;
  uint64_t skip_yields = UINT64_MAX;
  std::vector<std::string> log;
};

TEST(generic_byte_source, SkipExactReachesTheOverridingSkip) {
  struct row {
    uint64_t count, yields;
    bool throws;
  };
  for (const row r : {row{600, 600, false}, row{600, 599, true}, row{0, 0, false},
                      row{uint64_t{1} << 40, uint64_t{1} << 40, false}}) {
    SCOPED_TRACE(r.count);
    logging_source source;
    source.skip_yields = r.yields;
    abort_signal abort;
    byte_source& as_interface = source;
    if (r.throws) {
      EXPECT_THROW(as_interface.skip_exact(r.count, abort),
                   quarlo_io::exception_io_data_truncation);
    } else {
      as_interface.skip_exact(r.count, abort);
    }
    EXPECT_EQ(source.log, std::vector<std::string>{"skip " + std::to_string(r.count)});
  }
}

TEST(generic_byte_source, ReadExactReachesTheOverridingReadOnce) {
  for (const uint32_t yields : {16u, 15u, 0u}) {
    SCOPED_TRACE(yields);
    logging_source source;
    source.read_yields = yields;
    abort_signal abort;
    byte_source& as_interface = source;
    char buffer[16];
    if (yields < 16) {
      EXPECT_THROW(as_interface.read_exact(buffer, 16, abort),
                   quarlo_io::exception_io_data_truncation);
    } else {
      as_interface.read_exact(buffer, 16, abort);
    }
    EXPECT_EQ(source.log, std::vector<std::string>{"read 16"});
  }
}

}  // namespace
