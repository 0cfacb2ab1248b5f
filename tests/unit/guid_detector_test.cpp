#include "lookup/guid_detector.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#if defined(__unix__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "support/recording_string.h"

namespace {

constexpr size_t not_found = std::string::npos;

struct detector_case {
  const char* text;
  size_t offset;  // where the match starts, or not_found
  size_t length;
};

// Runs the detector on text and checks the outcome: one assign_text with a pointer
// into the text and the exact length when found, no call at all otherwise.
void expect_detection(const char* text, size_t offset, size_t length) {
  recording_string out("old");
  const bool found = guid_detector(text, out);
  if (offset == not_found) {
    EXPECT_FALSE(found);
    EXPECT_TRUE(out.calls().empty());
    EXPECT_EQ(out.text(), "old");
    return;
  }
  ASSERT_TRUE(found);
  ASSERT_EQ(out.calls().size(), 1u);
  EXPECT_STREQ(out.calls()[0].slot, "assign_text");
  EXPECT_EQ(out.calls()[0].text, text + offset);
  EXPECT_EQ(out.calls()[0].length, length);
  EXPECT_EQ(out.text(), std::string(text + offset, length));
}

void expect_detection(const std::string& text, size_t offset, size_t length) {
  expect_detection(text.c_str(), offset, length);
}

TEST(guid_detector, FindsTheFirstGuidShapedRun) {
  const detector_case cases[] = {
      {"", not_found, 0},
      {"ghijklmnop qrstuvwxyz GHIJ !?", not_found, 0},
      {"0123abcd-0123-4567-89ab-cdef01234567", 0, 36},
      {"x 0123abcd-0123-4567-89ab-cdef01234567 y", 2, 36},
      {"\"0x0123ABCD-0123-4567-89AB-CDEF01234567\"", 3, 36},
      {"a----", 0, 5},
      {"1-2-3-4-5", 0, 9},
      {"1-2-3-4-", 0, 8},
      {"1-2-3-4-}", 0, 8},
      {"1-2-3-4-5g", 0, 9},
      {"1-2-3-4-5-6", 0, 9},
      {"-1-2-3-4-5", 1, 9},
      {"--------1-2-3-4-5", 8, 9},
      {"12345678-1234-1234-1234-123456789abc", 0, 36},
      {"1-2-3-4-5 0123abcd-0123-4567-89ab-cdef01234567", 0, 9},
      {"zz 0123abcd-0123-4567-89ab-cdef01234567 1-2-3-4-5", 3, 36},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    expect_detection(c.text, c.offset, c.length);
  }
}

TEST(guid_detector, RejectsGroupsThatAreTooLong) {
  const char* const texts[] = {
      "0123abcd-0123-4567-89ab-cdef012345678",  // 13 digits at the end
      "0123abcd0123456789abcdef01234567",       // no dash after 8 digits
      "123456789-1-1-1-1",                      // 9 digits in the first group
      "1-12345-1-1-1",                          // 5 digits in the second
      "1-1-12345-1-1",                          // 5 digits in the third
      "1-1-1-12345-1",                          // 5 digits in the fourth
      "1-1-1-1-1234567890abc",                  // 13 digits in the last
      "1-2-3-4",                                // a group and its dash missing
      "1-2-3",
  };
  for (const char* text : texts) {
    SCOPED_TRACE(text);
    expect_detection(text, not_found, 0);
  }
}

TEST(guid_detector, FailedAttemptSkipsOnlyItsHexRun) {
  const detector_case cases[] = {
      // Glued to hex letters: no attempt starts at the GUID's own first digit.
      {"beef0123abcd-0123-4567-89ab-cdef01234567", not_found, 0},
      // The attempt on the 9-digit run fails; the next run starts a match.
      {"123456789-1-2-3-4-5", 10, 9},
      // The attempt at 12 reads on to 34 and fails; the scan resumes right after 12.
      {"12-34 1-2-3-4-5", 6, 9},
      {"1-2-3-4-5-6-7", 0, 9},
      {"aaaaaaaaa-0123abcd-0123-4567-89ab-cdef01234567", 10, 36},
      {"0123abcd-0123-4567-89ab-cdef012345678 1-2-3-4-5", 38, 9},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    expect_detection(c.text, c.offset, c.length);
  }
}

TEST(guid_detector, KeepsTheCaseAsTyped) {
  expect_detection("0123ABCD-0123-4567-89AB-CDEF01234567", 0, 36);
  expect_detection("0123abcd-0123-4567-89ab-cdef01234567", 0, 36);
  expect_detection("0123aBcD-0123-4567-89Ab-CdEf01234567", 0, 36);
}

// Every byte value, at every position of the first blocks and of the tail: only 0-9, a-f and
// A-F start the match; bytes with the high bit set whose low bits spell a hex digit
// (0xB1 is "1" | 0x80) and the other bytes of multi-byte sequences do not.
TEST(guid_detector, OnlyHexDigitsStartAMatch) {
  for (int byte = 1; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    for (size_t at = 0; at < 140; ++at) {
      const std::string text = std::string(at, 'z') + c + "-2-3-4-5";
      SCOPED_TRACE(testing::Message() << "byte " << byte << " at " << at);
      expect_detection(text, hex ? at : not_found, 9);
    }
  }
}

// Every byte value between the first two groups, at every position of the first
// blocks and of the tail: only "-" separates them; 0xAD is "-" | 0x80.
TEST(guid_detector, OnlyADashSeparatesGroups) {
  for (int byte = 1; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    for (size_t at = 0; at < 140; ++at) {
      const std::string text = std::string(at, 'z') + '1' + c + "2-3-4-5";
      SCOPED_TRACE(testing::Message() << "byte " << byte << " at " << at);
      expect_detection(text, c == '-' ? at : not_found, 9);
    }
  }
}

TEST(guid_detector, SkipsLongTextWithoutHexDigits) {
  // Every byte value that is not a hex digit, cycled, across several scan windows.
  std::string filler;
  for (int byte = 1; byte < 256; ++byte) {
    const char c = static_cast<char>(byte);
    const bool hex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!hex) filler += c;
  }
  const size_t sizes[] = {0, 1, 7, 8, 15, 16, 17, 4095, 4096, 4097, 8191, 8192, 8200, 20000};
  for (size_t size : sizes) {
    SCOPED_TRACE(size);
    std::string text;
    while (text.size() < size) text += filler;
    text.resize(size);
    expect_detection(text, not_found, 0);
    expect_detection(text + "0123abcd-0123-4567-89ab-cdef01234567", size, 36);
    expect_detection(text + "\xB1-2-3-4-5", not_found, 0);
  }
}

TEST(guid_detector, MatchAcrossAScanWindowBoundary) {
  for (size_t before = 4060; before < 4100; ++before) {
    SCOPED_TRACE(before);
    const std::string text = std::string(before, 'x') + "0123abcd-0123-4567-89ab-cdef01234567";
    expect_detection(text, before, 36);
    // A long hex run that reaches past the window and fails, then a match.
    const std::string run = std::string(before, 'x') + std::string(100, 'a') + " 1-2-3-4-5";
    expect_detection(run, before + 101, 9);
  }
}

// Texts made of a filler and a tail, for the block edges of the scan: the tail at every
// offset from the text's start over three 64-byte blocks, so its groups, dashes and NUL
// fall on every byte of a block, and the text itself at every distance from a 16-byte
// boundary. The fillers lead the scan through blocks it skips and blocks it computes.
struct filler_case {
  const char* piece;  // repeated and cut to length; a blank then parts it from the tail
  const char* what;
};

const filler_case fillers[] = {
    {"z", "no dash"},
    {"x-", "dashes without digits"},
    {"123456789-", "dense hex"},
    {"ab-cd-12-ef ", "chains of three dashes"},
    // Blocks computed one after the other up to a block with a single dash.
    {"ab-cd-12-ef ab-cd-12-ef ab-cd-12-ef ab-cd-12-ef ab-cd-12-ef ab-cd-12-ef ab-cd-12-ef "
     "ab-cd-12-ef ab-cd-12-ef ab-cd-12-ef zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz"
     "zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz",
     "dashes, then none"},
};

const detector_case tails[] = {
    {"0123abcd-0123-4567-89ab-cdef01234567", 0, 36},
    {"1-2-3-4-5", 0, 9},
    {"a----", 0, 5},
    {"1-2-3-4-", 0, 8},  // the last group ends at the NUL
    {"1-2-3-4", not_found, 0},
    {"aaaaaaaaa-1-2-3-4-5", 10, 9},
    {"0123abcd-0123-4567-89ab-cdef012345678", not_found, 0},
    {"1-12345-1-1-1 1-1-12345-1 1-1-1-1-123456789abc", 26, 20},
};

constexpr size_t longest_filler = 3 * 64;

std::string filler_text(const char* piece, size_t size) {
  std::string text;
  while (text.size() < size) text += piece;
  text.resize(size);
  return text;
}

// Hex digits and dashes that would change every outcome if they were read as text:
// they end in a digit just before the text and go on with a dash after its NUL.
const std::string decoy = filler_text("1-", 256);

// A text at a given distance past a 64-byte boundary, with decoys before it and after
// its NUL.
class placed_text {
 public:
  placed_text(const std::string& text, size_t shift) : storage_(64 + shift + text.size() + 1 + 96) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(storage_.data());
    const size_t before = static_cast<size_t>((64 - address % 64) % 64) + shift;
    std::memcpy(storage_.data(), decoy.data() + decoy.size() - 1 - before, before);
    text_ = storage_.data() + before;
    std::memcpy(text_, text.c_str(), text.size() + 1);
    const size_t after = storage_.size() - (before + text.size() + 1);
    std::memcpy(text_ + text.size() + 1, decoy.data() + 1, after);
  }

  const char* c_str() const { return text_; }

 private:
  std::vector<char> storage_;
  char* text_;
};

// The filler cut to size, a blank, the tail, and either the NUL right after it or a
// run of bytes without a dash, so that a match ends in a block the scan may skip.
struct built_text {
  std::string text;
  size_t offset;  // of the match, or not_found
};

built_text build(const char* filler, size_t size, const detector_case& tail, bool trailing) {
  const std::string lead = filler_text(filler, size) + (size ? " " : "");
  const size_t offset = tail.offset == not_found ? not_found : lead.size() + tail.offset;
  return {lead + tail.text + (trailing ? " " + std::string(2 * 64, 'z') : ""), offset};
}

TEST(guid_detector, FindsTheSameRunWhereverTheBlocksFall) {
  for (const auto& filler : fillers) {
    for (const auto& tail : tails) {
      for (size_t size = 0; size <= longest_filler; ++size) {
        for (bool trailing : {false, true}) {
          const built_text t = build(filler.piece, size, tail, trailing);
          // The distance from a boundary matters to the vector that holds the text's
          // start, in short texts also to the one that holds the NUL.
          const size_t shifts = size < 16 && !trailing ? 16 : 1;
          for (size_t shift = 0; shift < shifts; ++shift) {
            SCOPED_TRACE(testing::Message() << filler.what << ", " << size << " bytes, then "
                                            << tail.text << (trailing ? " and more" : "") << ", "
                                            << shift << " past a block boundary");
            const placed_text placed(t.text, shift);
            expect_detection(placed.c_str(), t.offset, tail.length);
          }
        }
      }
    }
  }
}

#if defined(__unix__)

// A text that ends on the last byte of a page and one that starts on the first, with
// pages that cannot be read around them: the scan reads no page the text is not on.
TEST(guid_detector, ReadsNoPageBeyondTheText) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  char* const pages = static_cast<char*>(
      mmap(nullptr, 3 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(pages, MAP_FAILED);
  ASSERT_EQ(mprotect(pages, page, PROT_NONE), 0);
  ASSERT_EQ(mprotect(pages + 2 * page, page, PROT_NONE), 0);
  char* const first = pages + page;
  char* const end = pages + 2 * page;
  for (const auto& tail : tails) {
    for (size_t size = 0; size <= longest_filler; ++size) {
      const built_text t = build("ab-cd-12-ef ", size, tail, false);
      SCOPED_TRACE(testing::Message() << size << " bytes, then " << tail.text);
      char* const at_end = end - t.text.size() - 1;
      std::memcpy(at_end, t.text.c_str(), t.text.size() + 1);
      expect_detection(at_end, t.offset, tail.length);
      for (size_t shift = 0; shift < 16; ++shift) {
        std::memcpy(first + shift, t.text.c_str(), t.text.size() + 1);
        expect_detection(first + shift, t.offset, tail.length);
      }
    }
  }
  munmap(pages, 3 * page);
}

#endif

TEST(guid_detector, NullTextFindsNothing) {
  recording_string out("old");
  EXPECT_FALSE(guid_detector(nullptr, out));
  EXPECT_TRUE(out.calls().empty());
}

TEST(guid_detector, AllocationFailureInTheReceiverPasses) {
  recording_string out("old");
  out.fail_changes(true);
  EXPECT_THROW(guid_detector("1-2-3-4-5", out), std::bad_alloc);
  EXPECT_EQ(out.text(), "old");
}

}  // namespace
