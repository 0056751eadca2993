#include <gtest/gtest.h>

#include "platform/random.h"

using namespace bg;

// Known values of the generator live in the start-up test (the default name and colour).
TEST(Random, LehmerStepAgainstThe64BitProductAndSeedRules) {
  for (int32_t seed : {0, 2147483647, -1}) {
    SeedRnd(seed);
    EXPECT_EQ(RndState(), 4660) << "seed " << seed;
  }
  SeedRnd(-2);
  EXPECT_EQ(RndState(), 0x7FFFFFFE);
  for (int64_t s : {int64_t(1), int64_t(44487), int64_t(44488), int64_t(2147483646), int64_t(123456789)}) {
    SetRndState(int32_t(s));
    int64_t expect = s;
    for (int i = 0; i < 1000; ++i) expect = expect * 48271 % 2147483647;
    for (int i = 0; i < 500; ++i) RndDouble();  // two steps each
    EXPECT_EQ(RndState(), expect) << "from state " << s;
  }
}

TEST(Random, BoundsCoverBothEndsAndEveryCallTakesTwoSteps) {
  SeedRnd(99);
  bool seen3 = false, seen5 = false, negative = false, positive = false;
  for (int i = 0; i < 2000; ++i) {
    const int32_t v = Rand(5, 3);  // reversed bounds too
    ASSERT_TRUE(v >= 3 && v <= 5) << v;
    seen3 |= v == 3;
    seen5 |= v == 5;
    const double r = Rnd(0.5, 5.0);
    ASSERT_TRUE(r >= 0.5 && r < 5.0) << r;
    const int32_t wide = Rand(INT32_MIN, INT32_MAX);  // the full range, without overflow
    negative |= wide < -(1 << 30);
    positive |= wide > (1 << 30);
  }
  EXPECT_TRUE(seen3 && seen5 && negative && positive);
  SeedRnd(7);
  RndDouble();
  const int32_t afterTwo = RndState();
  SeedRnd(7);
  Rand(0, 10);
  EXPECT_EQ(RndState(), afterTwo);
  SeedRnd(7);
  Rnd(0.0, 1.0);
  EXPECT_EQ(RndState(), afterTwo);
}
