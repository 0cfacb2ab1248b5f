// Settings saving and loading over host streams. The module registers no
// setting, so saving writes nothing and loading steps over every record.
#include <cstring>
#include <exception>
#include <random>
#include <typeinfo>
#include <vector>

#include <gtest/gtest.h>

#include "quarlo/exception_io.h"
#include "support/host_streams.h"
#include "tamsel_session.h"

namespace {

// One settings record: GUID bytes, little-endian length, payload.
void append_record(std::vector<uint8_t>& out, uint8_t tag, uint32_t length) {
  for (int i = 0; i < 16; ++i) out.push_back(static_cast<uint8_t>(tag + i));
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(length >> (8 * i)));
  out.insert(out.end(), length, 0x5A);
}

std::vector<uint8_t> records(const std::vector<uint32_t>& lengths) {
  std::vector<uint8_t> out;
  uint8_t tag = 1;
  for (uint32_t n : lengths) append_record(out, tag++, n);
  return out;
}

std::vector<uint64_t> skipped(const recording_source& source) {
  std::vector<uint64_t> counts;
  for (const auto& call : source.calls) {
    if (call.slot == stream_call::skip_exact) counts.push_back(call.count);
    EXPECT_NE(call.slot, stream_call::skip) << "the module must not call the host's skip";
  }
  return counts;
}

// Throws one exception object, kept so the catcher can check it got that very object.
class failing_skip_source final : public byte_source {
 public:
  explicit failing_skip_source(std::vector<uint8_t> header) : inner_(std::move(header)) {
    thrown_ = std::make_exception_ptr(quarlo_io::exception_io_data("host stream broke"));
    try {
      std::rethrow_exception(thrown_);
    } catch (const quarlo_io::exception_io_data& e) {
      address_ = &e;
    }
  }
  uint32_t read(void* b, uint32_t n, abort_signal& a) override { return inner_.read(b, n, a); }
  void read_exact(void* b, uint32_t n, abort_signal& a) override { inner_.read_exact(b, n, a); }
  uint64_t skip(uint64_t n, abort_signal& a) override { return inner_.skip(n, a); }
  void skip_exact(uint64_t, abort_signal&) override { std::rethrow_exception(thrown_); }

  const void* address() const { return address_; }

 private:
  recording_source inner_;
  std::exception_ptr thrown_;
  const void* address_ = nullptr;
};

}  // namespace

using ModuleSettings = tamsel_session;

TEST_F(ModuleSettings, SavingTheEmptyListMakesNoCall) {
  recording_sink sink;
  abort_signal abort;
  client().save_settings(sink, abort);
  client().save_settings(sink, abort);
  EXPECT_TRUE(sink.calls.empty());
  EXPECT_EQ(quarlo_host::heap_watch::counts().mallocs, 0u);
}

TEST_F(ModuleSettings, LoadingSkipsEveryRecordUntilTheStreamEnds) {
  const std::vector<std::vector<uint32_t>> streams = {
      {}, {0}, {3}, {0, 0, 0}, {7, 0, 258, 1, 600}, {65536},
  };
  for (const auto& lengths : streams) {
    SCOPED_TRACE(testing::PrintToString(lengths));
    recording_source source(records(lengths));
    abort_signal abort;
    client().load_settings(source, abort);
    EXPECT_EQ(skipped(source), std::vector<uint64_t>(lengths.begin(), lengths.end()));
    EXPECT_EQ(source.position, records(lengths).size());
  }
  EXPECT_EQ(quarlo_host::heap_watch::counts().mallocs, 0u);
}

TEST_F(ModuleSettings, LoadingEndsNormallyInsideAHeader) {
  for (uint32_t extra = 1; extra < 20; ++extra) {
    SCOPED_TRACE(extra);
    std::vector<uint8_t> bytes = records({2});
    bytes.insert(bytes.end(), extra, 0x11);
    recording_source source(bytes);
    abort_signal abort;
    EXPECT_NO_THROW(client().load_settings(source, abort));
    EXPECT_EQ(skipped(source), std::vector<uint64_t>{2});
  }
}

TEST_F(ModuleSettings, StreamEndingInsideASkippedPayloadThrowsToTheHost) {
  std::vector<uint8_t> bytes = records({2});
  append_record(bytes, 40, 100);
  bytes.resize(bytes.size() - 60);
  recording_source source(bytes);
  abort_signal abort;
  EXPECT_THROW(client().load_settings(source, abort), quarlo_io::exception_io_data);
  EXPECT_EQ(skipped(source), (std::vector<uint64_t>{2, 100}));
}

TEST_F(ModuleSettings, HostExceptionPassesThroughTheModuleAsTheSameObject) {
  failing_skip_source source(records({5}));
  abort_signal abort;
  bool caught = false;
  try {
    client().load_settings(source, abort);
  } catch (const quarlo_io::exception_io_data& e) {
    caught = true;
    EXPECT_EQ(static_cast<const void*>(&e), source.address());
    EXPECT_EQ(typeid(e), typeid(quarlo_io::exception_io_data));
    EXPECT_STREQ(e.what(), "host stream broke");
  }
  EXPECT_TRUE(caught);
}

TEST_F(ModuleSettings, RandomBytesEndNormallyOrAsStreamData) {
  std::mt19937 random(20240611u);
  for (int round = 0; round < 20; ++round) {
    std::vector<uint8_t> bytes(1 + random() % 4096);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    recording_source source(bytes);
    abort_signal abort;
    try {
      client().load_settings(source, abort);
    } catch (const quarlo_io::exception_io_data&) {
      // A record length past the end: the unprotected skip reports it.
    }
    EXPECT_LE(source.position, bytes.size());
  }
}
