#include "jobs/progress.h"

#include <gtest/gtest.h>

namespace {

TEST(Progress, PercentIsTruncatedAndNotLimited) {
  long p = -1;
  ASSERT_TRUE(ProgressPercent(1000, 4000, &p));
  EXPECT_EQ(p, 25);
  EXPECT_EQ(PercentText(p), "25 %");
  ASSERT_TRUE(ProgressPercent(1996, 1000, &p));  // 199.6 %
  EXPECT_EQ(p, 199);
  ASSERT_TRUE(ProgressPercent(999, 1000, &p));
  EXPECT_EQ(p, 99);
  ASSERT_TRUE(ProgressPercent(1, 3, &p));
  EXPECT_EQ(p, 33);
  ASSERT_TRUE(ProgressPercent(300 + 280, 300, &p));  // header bytes push a small job past 100
  EXPECT_EQ(p, 193);
}

TEST(Progress, NothingShownWithoutBytes) {
  long p = 7;
  EXPECT_FALSE(ProgressPercent(0, 4000, &p));
  EXPECT_FALSE(ProgressPercent(1000, 0, &p));
  EXPECT_EQ(p, 7);
}

TEST(Progress, PercentTextOfLargeJobs) {
  long p = 0;
  const uint64_t total = 5ull << 40;  // 5 TiB
  ASSERT_TRUE(ProgressPercent(total / 2, total, &p));
  EXPECT_EQ(PercentText(p), "50 %");
  EXPECT_EQ(PercentText(0), "0 %");
}

TEST(Progress, TitleWithTheArrowOfEachCodePage) {
  EXPECT_EQ(ProgressTitle("Tavro", 1000, 4000, 932), "Tavro 1000 byte \x81\xA8 4000 byte");
  EXPECT_EQ(ProgressTitle("Tavro", 1000, 4000, 1252), "Tavro 1000 byte -> 4000 byte");
  EXPECT_EQ(ProgressTitle("Tavro", 1000, 4000, 65001), "Tavro 1000 byte \xE2\x86\x92 4000 byte");
  EXPECT_EQ(ProgressTitle("Tavro", 1000, 4000, 0), "Tavro 1000 byte -> 4000 byte");
}

TEST(Progress, TitleCountsAreFullSixtyFourBitDecimals) {
  EXPECT_EQ(ProgressTitle("T", 5000000000ull, 9000000000ull, 1252), "T 5000000000 byte -> 9000000000 byte");
  // The running system's own arrow is one of the three.
  const std::string own = ProgressTitle("T", 1, 2);
  EXPECT_TRUE(own == "T 1 byte -> 2 byte" || own == "T 1 byte \xE2\x86\x92 2 byte" ||
              own == "T 1 byte \x81\xA8 2 byte")
      << own;
}

}  // namespace
