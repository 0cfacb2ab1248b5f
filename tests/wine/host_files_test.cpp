// The files the host reads from disk: the shipped services sample, a missing
// services file.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "quarlo_host/runtime/host_files.h"

using quarlo_host::service_entry;
using quarlo_host::services_file_error;

TEST(ServicesFile, ShippedSampleLoads) {
  // The sample is copied beside the programs at configure time.
  std::vector<service_entry> entries;
  services_file_error error;
  ASSERT_TRUE(quarlo_host::read_services_file("services.txt", entries, error))
      << error.line << ": " << error.message;
  EXPECT_GE(entries.size(), 30u);
  bool accented = false, cjk = false, emoji = false;
  for (const auto& e : entries) {
    for (unsigned char c : e.name) {
      accented |= c == 0xC3;
      cjk |= c >= 0xE3 && c <= 0xE9;
      emoji |= c == 0xF0;
    }
  }
  EXPECT_TRUE(accented && cjk && emoji);
}

TEST(ServicesFile, MissingFileIsReportedAsLineZero) {
  std::vector<service_entry> entries;
  services_file_error error;
  EXPECT_FALSE(quarlo_host::read_services_file("no-such-services.txt", entries, error));
  EXPECT_EQ(error.line, 0u);
  EXPECT_NE(error.message.find("no-such-services.txt"), std::string::npos);
}
