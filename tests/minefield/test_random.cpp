#include <gtest/gtest.h>

#include <string>

#include "platform/random.h"

using namespace bg;

TEST(Random, SeedsThatMaskToZeroOrModulusFallBackTo4660) {
  for (int32_t seed : {0, 2147483647, -1}) {
    SeedRnd(seed);
    EXPECT_EQ(RndState(), 4660) << "seed " << seed;
  }
  SeedRnd(-2);  // masks to 0x7FFFFFFE
  EXPECT_EQ(RndState(), 0x7FFFFFFE);
}

TEST(Random, StepIsLehmer48271ModPrime) {
  SeedRnd(1);
  RndDouble();  // two steps: 48271, then 48271^2 mod (2^31-1)
  const int64_t m = 2147483647;
  EXPECT_EQ(RndState(), int64_t(48271) * 48271 % m);
  // Against the direct 64-bit product for many states, negative intermediate included.
  for (int64_t s : {int64_t(1), int64_t(44487), int64_t(44488), int64_t(2147483646), int64_t(123456789)}) {
    SetRndState(int32_t(s));
    int64_t expect = s;
    for (int i = 0; i < 1000; ++i) expect = expect * 48271 % m;
    for (int i = 0; i < 500; ++i) RndDouble();
    EXPECT_EQ(RndState(), expect) << "from state " << s;
  }
}

TEST(Random, RndDoubleCombinesTwoMaskedSteps) {
  SetRndState(1);
  const double d = RndDouble();
  const int32_t hi = 48271 & 0x1FFFFFFC;
  const int32_t lo = int32_t(int64_t(48271) * 48271 % 2147483647) & 0x1FFFFFF8;
  EXPECT_DOUBLE_EQ(d, (hi + lo / 134217728.0) / 536870912.0);
}

TEST(Random, RandAndRndBoundsAndTwoStepsPerCall) {
  SeedRnd(99);
  EXPECT_EQ(Rand(0, 0), 0);
  bool seen3 = false, seen5 = false;
  for (int i = 0; i < 2000; ++i) {
    const int32_t v = Rand(5, 3);  // reversed bounds still cover both ends
    ASSERT_GE(v, 3);
    ASSERT_LE(v, 5);
    seen3 |= v == 3;
    seen5 |= v == 5;
    const double r = Rnd(0.5, 5.0);
    ASSERT_GE(r, 0.5);
    ASSERT_LT(r, 5.0);
  }
  EXPECT_TRUE(seen3 && seen5);
  SeedRnd(7);
  Rand(0, 10);
  const int32_t afterRand = RndState();
  SeedRnd(7);
  RndDouble();
  EXPECT_EQ(RndState(), afterRand);
  SeedRnd(7);
  Rnd(0.0, 1.0);
  EXPECT_EQ(RndState(), afterRand);
  // Extreme bounds must not overflow.
  SeedRnd(3);
  for (int i = 0; i < 100; ++i) (void)Rand(INT32_MIN, INT32_MAX);
}

TEST(Random, InitialStateGivesTheDefaultNameAndColour) {
  SetRndState(0x1234);
  const char l1 = char(Rand(97, 122)), l2 = char(Rand(97, 122)), l3 = char(Rand(97, 122));
  EXPECT_EQ(std::string(1, l3) + "Player" + l2 + l1, "sPlayerfk");
  EXPECT_EQ(Rand(0, 255), 38);
  EXPECT_EQ(Rand(0, 255), 146);
  EXPECT_EQ(Rand(0, 255), 43);
}
