// Every seed of the fuzz corpus, replayed in every build: whatever a seed loads must round-trip.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "ConfigRoundTrip.h"

namespace {

TEST(CorpusReplayTest, EverySeedRoundTrips) {
  std::size_t seeds = 0;
  for (const auto& item : std::filesystem::directory_iterator(HALVORO_CONFIG_CORPUS)) {
    std::ifstream in(item.path(), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(CheckConfigRoundTrip(bytes.str()), "") << item.path();
    ++seeds;
  }
  EXPECT_GT(seeds, 0u) << "no seeds in " << HALVORO_CONFIG_CORPUS;
}

}  // namespace
