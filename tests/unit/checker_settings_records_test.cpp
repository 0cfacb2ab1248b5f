// The settings stream's records as the checker joins and splits them.
#include "quarlo_host/checker/settings_records.h"

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

using namespace quarlo_host;

TEST(CheckerSettingsRecords, RecordsSplitOnlyAtTheirExactEnd) {
  const std::vector<settings_record> records = {{std::vector<uint8_t>(16, 1), {1, 2, 3}},
                                                {std::vector<uint8_t>(16, 2), {}}};
  std::vector<uint8_t> bytes = join_records(records);
  ASSERT_EQ(bytes.size(), 20u + 3 + 20);
  EXPECT_EQ(bytes[16], 3);
  EXPECT_EQ(bytes[19], 0);
  std::vector<settings_record> back;
  ASSERT_TRUE(split_records(bytes, back));
  ASSERT_EQ(back.size(), 2u);
  EXPECT_EQ(back[0].payload, records[0].payload);
  EXPECT_EQ(back[1].guid, records[1].guid);
  for (const size_t cut : {1, 4, 19, 21}) {
    const std::vector<uint8_t> shorter(bytes.begin(), bytes.end() - static_cast<long>(cut));
    EXPECT_FALSE(split_records(shorter, back)) << cut;
  }
}
