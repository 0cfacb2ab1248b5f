// Loads settings streams made from the fuzzer's bytes (records of the target's
// own settings and of unknown ones, lengths that lie, records that repeat,
// loose bytes) into settings of its own, through a plain source and through
// one whose reads come back short in a pattern the input gives.
//
// Every setting checks that what it is handed is its own record and that each
// byte it reads is a byte of that record's payload, never of the next. A
// setting keeps the last payload it read whole; the first payload byte picks
// how it reads (whole, in pieces, too little, too much, by skipping, or by
// throwing). With the plain source, the values and the way the load ends are
// compared with a plain reading of the stream. After either load, a save of
// what was accepted, loaded into poisoned settings and saved again, gives
// the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "host/abort_signal.h"
#include "host/byte_sink.h"
#include "host/byte_source.h"
#include "host/guid.h"
#include "settings/exception_io.h"
#include "settings/settings_io.h"
#include "settings/settings_list.h"
#include "settings/settings_var.h"

namespace {

using bytes = std::vector<uint8_t>;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "settings load fuzz: %s\n", what);
  std::abort();
}

void check(bool ok, const char* what) {
  if (!ok) fail(what);
}

// Reads the fuzzer's bytes in order; zeros once used up.
class input final {
 public:
  input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool done() const { return at_ >= size_; }
  uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t{byte()} << (8 * i);
    return v;
  }
  bytes take(size_t n) {
    bytes out;
    while (n-- > 0 && !done()) out.push_back(byte());
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

uint32_t get_u32(const uint8_t* in) {
  return uint32_t{in[0]} | uint32_t{in[1]} << 8 | uint32_t{in[2]} << 16 | uint32_t{in[3]} << 24;
}

// The stream form of a GUID.
bytes guid_bytes(const GUID& id) {
  bytes out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(id.Data1 >> (8 * i)));
  out.push_back(static_cast<uint8_t>(id.Data2));
  out.push_back(static_cast<uint8_t>(id.Data2 >> 8));
  out.push_back(static_cast<uint8_t>(id.Data3));
  out.push_back(static_cast<uint8_t>(id.Data3 >> 8));
  out.insert(out.end(), id.Data4, id.Data4 + 8);
  return out;
}

// A host source over a byte vector. read hands out at most the next size of
// the chunk pattern (an empty pattern: no limit), so it may come back short,
// even empty, before the end; read_exact and skip_exact work exactly, as a
// host's do, and throw exception_io_data when the data ends first.
class fuzz_source final : public byte_source {
 public:
  fuzz_source(const bytes& data, const bytes& chunks, const abort_signal& abort)
      : data_(data), chunks_(chunks), abort_(abort) {}

  uint32_t read(void* buffer, uint32_t count, abort_signal& abort) override {
    enter(abort);
    size_t n = std::min<size_t>(count, left());
    if (!chunks_.empty()) n = std::min<size_t>(n, chunks_[next_chunk_++ % chunks_.size()]);
    if (n != 0) std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return static_cast<uint32_t>(n);
  }

  void read_exact(void* buffer, uint32_t count, abort_signal& abort) override {
    enter(abort);
    if (left() < count) end_of_data();
    if (count != 0) std::memcpy(buffer, data_.data() + position_, count);
    position_ += count;
  }

  uint64_t skip(uint64_t count, abort_signal& abort) override {
    enter(abort);
    const size_t n = static_cast<size_t>(std::min<uint64_t>(count, left()));
    position_ += n;
    return n;
  }

  void skip_exact(uint64_t count, abort_signal& abort) override {
    enter(abort);
    if (left() < count) end_of_data();
    position_ += static_cast<size_t>(count);
  }

  size_t position() const { return position_; }
  const bytes& data() const { return data_; }
  const abort_signal& abort() const { return abort_; }

 private:
  size_t left() const { return data_.size() - position_; }
  void enter(const abort_signal& abort) const {
    check(&abort == &abort_, "a source call without the load's abort signal");
  }
  [[noreturn]] void end_of_data() {
    position_ = data_.size();
    throw quarlo_io::exception_io_data_truncation();
  }

  const bytes& data_;
  const bytes& chunks_;
  const abort_signal& abort_;
  size_t position_ = 0;
  size_t next_chunk_ = 0;
};

class vector_sink final : public byte_sink {
 public:
  void write(const void* buffer, uint32_t count, abort_signal&) override {
    const auto* p = static_cast<const uint8_t*>(buffer);
    data.insert(data.end(), p, p + count);
  }
  bytes data;
};

// The load in progress, for the settings' own checks.
const fuzz_source* current_source = nullptr;

// A setting's view of its payload: every byte that comes through must be the
// payload's next byte, inside the record.
class checked_reader final {
 public:
  checked_reader(byte_source& in, abort_signal& abort, uint32_t length)
      : in_(in), abort_(abort), start_(current_source->position()), length_(length) {}

  uint32_t read(uint8_t* buffer, uint32_t count) {
    const uint32_t got = in_.read(buffer, count, abort_);
    check(got <= count, "a read handed out more than asked");
    see(buffer, got);
    return got;
  }
  void read_exact(uint8_t* buffer, uint32_t count) {
    in_.read_exact(buffer, count, abort_);
    see(buffer, count);
  }
  void skip_exact(uint32_t count) {
    in_.skip_exact(count, abort_);
    check(count <= length_ - seen_, "a skip went past the record");
    seen_ += count;
  }
  // Reads up to n bytes, fewer when the data ends.
  void read_up_to(uint32_t n) {
    uint8_t chunk[256];
    while (n != 0) {
      const uint32_t got = read(chunk, std::min<uint32_t>(n, sizeof chunk));
      if (got == 0) return;
      n -= got;
    }
  }

 private:
  void see(const uint8_t* buffer, uint32_t n) {
    check(n <= length_ - seen_, "a setting got bytes past its record");
    const bytes& stream = current_source->data();
    check(start_ + seen_ + n <= stream.size(), "a setting got bytes past the stream");
    check(n == 0 || std::memcmp(buffer, stream.data() + start_ + seen_, n) == 0,
          "a setting got bytes that are not its payload's");
    seen_ += n;
  }

  byte_source& in_;
  abort_signal& abort_;
  size_t start_;
  uint32_t length_;
  uint32_t seen_ = 0;
};

// How a setting reads a payload, from its first byte modulo 8.
enum mode : uint8_t {
  whole_exact,   // read_exact in chunks: accepted when all came
  whole_pieces,  // read in pieces of (byte >> 3) + 1: accepted when all came
  too_little,    // half of it, then returns
  too_much,      // all of it, then read_exact for more
  rejects,       // half of it, then exception_io_data
  fails,         // half of it, then exception_io, which ends the load
  skips,         // skip_exact over it
  breaks,        // a std::runtime_error, which ends the load
};

class fuzz_setting final : public settings_var {
 public:
  fuzz_setting(const GUID& id, bytes initial) : settings_var(id), value(std::move(initial)) {}

  void write_value(byte_sink& out, abort_signal& abort) override {
    if (!value.empty()) out.write(value.data(), static_cast<uint32_t>(value.size()), abort);
  }

  void read_value(byte_source& in, uint32_t length, abort_signal& abort) override {
    ++reads;
    check(&abort == &current_source->abort(), "a setting called without the load's abort signal");
    // Handed the payload of a record with this setting's GUID and length.
    const size_t start = current_source->position();
    const bytes& stream = current_source->data();
    check(start >= 20, "a setting called before a whole header");
    check(get_u32(stream.data() + start - 4) == length, "a setting called with another length");
    check(guid_bytes(guid) == bytes(stream.begin() + static_cast<ptrdiff_t>(start - 20),
                                    stream.begin() + static_cast<ptrdiff_t>(start - 4)),
          "a setting called for another GUID");

    checked_reader r(in, abort, length);
    if (length == 0) {
      value.clear();
      return;
    }
    uint8_t first = 0;
    if (r.read(&first, 1) != 1) throw quarlo_io::exception_io_data_truncation();
    const uint32_t rest = length - 1;
    bytes got{first};
    uint8_t chunk[4096];
    switch (first % 8) {
      case whole_exact:
        for (uint32_t left = rest; left != 0;) {
          const uint32_t n = std::min<uint32_t>(left, sizeof chunk);
          r.read_exact(chunk, n);
          got.insert(got.end(), chunk, chunk + n);
          left -= n;
        }
        value = got;
        return;
      case whole_pieces: {
        const uint32_t piece = (first >> 3) + 1u;
        while (got.size() < length) {
          const auto wanted = static_cast<uint32_t>(std::min<size_t>(piece, length - got.size()));
          const uint32_t n = r.read(chunk, wanted);
          if (n == 0) throw quarlo_io::exception_io_data_truncation();
          got.insert(got.end(), chunk, chunk + n);
        }
        value = got;
        return;
      }
      case too_little:
        r.read_up_to(rest / 2);
        return;
      case too_much:
        r.read_up_to(rest);
        r.read_exact(chunk, 1 + (first >> 3));
        return;
      case rejects:
        r.read_up_to(rest / 2);
        throw quarlo_io::exception_io_data("the fuzz setting rejects its payload");
      case fails:
        r.read_up_to(rest / 2);
        throw quarlo_io::exception_io("the fuzz setting fails");
      case skips:
        r.skip_exact(rest);
        return;
      default:
        throw std::runtime_error("the fuzz setting breaks");
    }
  }

  bytes value;
  uint32_t reads = 0;
};

constexpr GUID guid_a = {0xA0A0A0A0, 0xA0A0, 0xA0A0, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr GUID guid_b = {0x0B0B0B0B, 0x0B0B, 0x0B0B, {8, 7, 6, 5, 4, 3, 2, 1}};
constexpr GUID guid_c = {0xC0C0C0C0, 0xC0C0, 0xC0C0, {0, 0, 0, 0, 0, 0, 0, 0xC}};

// A value no read can leave behind: its first byte reads too little.
const bytes poison = {too_little};

// The target's settings, linked for one input: a, b, b's shadow (a second
// setting with b's GUID, which loading must never reach) and c.
struct linked_settings {
  linked_settings() {
    for (fuzz_setting* s : all()) link_setting(*s);
  }
  ~linked_settings() {
    for (fuzz_setting* s : all()) unlink_setting(*s);
  }
  std::vector<fuzz_setting*> all() { return {&a, &b, &shadow, &c}; }
  // The settings a save writes: the shadow is off the list then, since its
  // record would carry b's GUID.
  std::vector<fuzz_setting*> saved() { return {&a, &b, &c}; }

  fuzz_setting a{guid_a, {whole_exact, 'a'}};
  fuzz_setting b{guid_b, {whole_pieces, 'b', 'b'}};
  fuzz_setting shadow{guid_b, {whole_exact, 's'}};
  fuzz_setting c{guid_c, {}};
};

enum class ending { normal, data_error, io_error, other_error };

ending load(const bytes& stream, const bytes& chunks) {
  abort_signal abort;
  fuzz_source source(stream, chunks, abort);
  current_source = &source;
  ending how = ending::normal;
  try {
    load_settings(source, abort);
  } catch (const quarlo_io::exception_io_data&) {
    how = ending::data_error;
  } catch (const quarlo_io::exception_io&) {
    how = ending::io_error;
  } catch (const std::runtime_error&) {
    how = ending::other_error;
  }
  current_source = nullptr;
  return how;
}

// The plain reading of a stream through the plain source: the records in
// order, each payload to the first setting with its GUID, that setting's
// mode from the payload's first byte.
struct model_setting {
  GUID guid;
  bytes value;
};

ending reference_load(const bytes& stream, std::vector<model_setting>& settings) {
  size_t pos = 0;
  for (;;) {
    if (stream.size() - pos < 20) return ending::normal;
    const bytes tag(stream.begin() + static_cast<ptrdiff_t>(pos),
                    stream.begin() + static_cast<ptrdiff_t>(pos + 16));
    const uint32_t n = get_u32(stream.data() + pos + 16);
    pos += 20;
    const size_t available = stream.size() - pos;
    model_setting* target = nullptr;
    for (model_setting& s : settings) {
      if (guid_bytes(s.guid) == tag) {
        target = &s;
        break;
      }
    }
    if (target == nullptr || n == 0) {
      if (n > available) return ending::data_error;
      if (target != nullptr) target->value.clear();
      pos += n;
      continue;
    }
    if (available == 0) return ending::data_error;
    const uint8_t first = stream[pos] % 8;
    if (first == fails) return ending::io_error;
    if (first == breaks) return ending::other_error;
    if (n > available) return ending::data_error;
    if (first == whole_exact || first == whole_pieces) {
      target->value.assign(stream.begin() + static_cast<ptrdiff_t>(pos),
                           stream.begin() + static_cast<ptrdiff_t>(pos + n));
    }
    pos += n;
  }
}

// Appends one record for id: a payload from the input, and a length that is
// true or lies by a little or by a lot.
void add_record(bytes& stream, const bytes& tag, input& in) {
  const bytes payload = in.take(in.byte());
  uint32_t n = static_cast<uint32_t>(payload.size());
  switch (in.byte() % 4) {
    case 2:
      n += static_cast<uint32_t>(static_cast<int8_t>(in.byte()));
      break;
    case 3:
      n = in.u32();
      break;
    default:
      break;
  }
  stream.insert(stream.end(), tag.begin(), tag.end());
  for (int i = 0; i < 4; ++i) stream.push_back(static_cast<uint8_t>(n >> (8 * i)));
  stream.insert(stream.end(), payload.begin(), payload.end());
}

bytes make_stream(input& in) {
  const GUID ours[] = {guid_a, guid_b, guid_c};
  bytes stream;
  while (!in.done()) {
    const uint8_t op = in.byte() % 5;
    if (op < 3) {
      add_record(stream, guid_bytes(ours[op]), in);
    } else if (op == 3) {
      add_record(stream, in.take(16), in);
    } else {
      const bytes loose = in.take(in.byte());
      stream.insert(stream.end(), loose.begin(), loose.end());
    }
  }
  return stream;
}

// Saves what the settings hold, loads it into poisoned settings through the
// plain source and saves again: the same values and the same bytes.
void check_round_trip(linked_settings& settings) {
  unlink_setting(settings.shadow);
  vector_sink first;
  abort_signal abort;
  save_settings(first, abort);
  std::vector<bytes> held;
  for (fuzz_setting* s : settings.saved()) {
    held.push_back(s->value);
    s->value = poison;
  }
  check(load(first.data, {}) == ending::normal, "a saved stream does not load");
  for (size_t i = 0; i < held.size(); ++i) {
    check(settings.saved()[i]->value == held[i], "a saved value loads back changed");
  }
  vector_sink second;
  save_settings(second, abort);
  check(second.data == first.data, "save, load, save changed the bytes");
  link_setting(settings.shadow);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  input in(data, size);
  bytes chunks = in.take(in.byte() % 9);
  for (uint8_t& c : chunks) c %= 17;
  const bytes stream = make_stream(in);

  {
    linked_settings settings;
    std::vector<model_setting> model;
    for (fuzz_setting* s : settings.all()) model.push_back({s->guid, s->value});
    const ending want = reference_load(stream, model);
    check(load(stream, {}) == want, "the load ends otherwise than the plain reading");
    for (size_t i = 0; i < model.size(); ++i) {
      check(settings.all()[i]->value == model[i].value, "a value differs from the plain reading");
    }
    check(settings.shadow.reads == 0, "a payload reached a second setting with the same GUID");
    check_round_trip(settings);
  }
  if (!chunks.empty()) {
    linked_settings settings;
    load(stream, chunks);
    check(settings.shadow.reads == 0, "a payload reached a second setting with the same GUID");
    check_round_trip(settings);
  }
  return 0;
}
