// The bounded text writer: the numbers must be byte for byte what the C library's printf writes
// in the "C" locale (the texts were defined with it), without ever calling it from the library.
#include "core/text_builder.h"

#include "host_text.h"

#include <gtest/gtest.h>

#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

using zt::core::TextBuilder;

constexpr int kCapacity = 512;
constexpr char kUnwritten = '#';

// A buffer of kCapacity bytes followed by guard bytes that no append may touch.
struct Buffer : zt::tools::GuardedBuffer<kCapacity> {
  Buffer() : GuardedBuffer(kUnwritten) {}
};

std::string Printf(const char* format, double value) {
  std::array<char, 400> out{};
  std::snprintf(out.data(), out.size(), format, value);
  return out.data();
}

std::string Fixed(double value, int decimals) {
  Buffer buffer;
  TextBuilder text = zt::core::StartText(buffer.data(), kCapacity);
  zt::core::AppendFixed(text, value, decimals);
  EXPECT_TRUE(buffer.GuardIntact());
  return std::string(zt::core::View(text));
}

std::string Int(long long value) {
  Buffer buffer;
  TextBuilder text = zt::core::StartText(buffer.data(), kCapacity);
  zt::core::AppendInt(text, value);
  return buffer.data();
}

// Amounts the texts meet: exact halves at every precision used (ties round to even in printf),
// values just off a half, amounts that round to zero from below, money-like values, extremes.
std::vector<double> Amounts() {
  std::vector<double> values = {
      0.0,     -0.0,    0.5,      1.5,      2.5,      -2.5,     3.5,     0.25,   0.75,
      -0.25,   0.125,   0.375,    0.625,    -0.875,   1.005,    1.015,   0.045,  2.675,
      0.05,    0.15,    0.35,     -0.001,   -0.004,   -0.005,   -0.006,  0.004,  0.0049999,
      1030.5,  30.5,    -22.0,    980.0,    74.33628, 1e-7,     -1e-7,   99.995, 99.985,
      1e15,    1e15 + 0.5,        4503599627370495.5, 9007199254740993.0, 123456789.125,
      1e22,    1e300,   -1e300,   DBL_MAX,  -DBL_MAX, DBL_MIN,  5e-324,  1.0 / 3.0,
      2.0 / 3.0, 1e-300, 12345.675, 0.995,  0.9949999999999999,
  };
  // Every multiple of 1/16 in [-64, 64]: all of them are exact, many are ties at one or two
  // decimals.
  for (int k = -1024; k <= 1024; ++k) values.push_back(k / 16.0);
  // Cents and mils as a host's amounts hold them (not exact in binary).
  for (int k = -2000; k <= 2000; k += 7) values.push_back(k / 1000.0);
  for (int k = 0; k <= 10000; k += 13) values.push_back(k / 100.0 + 0.005);
  return values;
}

TEST(TextBuilderNumbers, AppendFixedAgreesWithPrintf) {
  struct Precision {
    int decimals;
    const char* format;
  };
  const Precision precisions[] = {{2, "%0.2f"}, {0, "%0.0f"}, {1, "%0.1f"}};
  for (const double value : Amounts()) {
    for (const Precision& precision : precisions) {
      EXPECT_EQ(Fixed(value, precision.decimals), Printf(precision.format, value))
          << precision.format << " of " << std::hexfloat << value;
    }
  }
}

TEST(TextBuilderNumbers, NotFiniteAmounts) {
  const double infinity = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    double value;
    const char* expected;
  };
  // printf writes "-nan" for a NaN with its sign bit set; the texts always write "nan".
  const Case cases[] = {{infinity, "inf"}, {-infinity, "-inf"}, {nan, "nan"}, {-nan, "nan"}};
  for (const Case& c : cases) {
    for (const int decimals : {0, 1, 2}) {
      EXPECT_EQ(Fixed(c.value, decimals), c.expected) << c.expected << " at " << decimals;
    }
  }
}

TEST(TextBuilderNumbers, AppendIntAgreesWithPrintf) {
  const long long values[] = {0, 1, -1, 9, 10, -10, 123456, -123456, INT_MAX, INT_MIN,
                              LLONG_MAX, LLONG_MIN};
  for (const long long value : values) {
    std::array<char, 32> expected{};
    std::snprintf(expected.data(), expected.size(), "%lld", value);
    EXPECT_EQ(Int(value), expected.data());
  }
  std::array<char, 32> expected{};
  std::snprintf(expected.data(), expected.size(), "%d", INT_MIN);
  EXPECT_EQ(Int(INT_MIN), expected.data());
}

TEST(TextBuilderNumbers, AppendPaddedAgreesWithPrintf) {
  const std::pair<int, int> cases[] = {{0, 2}, {5, 2}, {13, 2}, {123, 2}, {7, 4},
                                       {2011, 4}, {99999, 4}, {0, 1}, {42, 0}};
  for (const auto& [value, width] : cases) {
    Buffer buffer;
    TextBuilder text = zt::core::StartText(buffer.data(), kCapacity);
    zt::core::AppendPadded(text, value, width);
    std::array<char, 32> expected{};
    std::snprintf(expected.data(), expected.size(), "%0*d", width, value);
    EXPECT_EQ(std::string(zt::core::View(text)), expected.data()) << value << " width " << width;
  }
}

// ---- Bounds ----------------------------------------------------------------------------------

TEST(TextBuilderBounds, StartWritesTheTerminatorOnly) {
  Buffer buffer;
  TextBuilder text = zt::core::StartText(buffer.data(), kCapacity);
  EXPECT_EQ(text.length, 0);
  EXPECT_EQ(buffer.bytes()[0], '\0');
  EXPECT_EQ(buffer.bytes()[1], kUnwritten);
}

TEST(TextBuilderBounds, CutsAtCapacityAndStaysTerminated) {
  constexpr int kSmall = 8;
  zt::tools::GuardedBuffer<kSmall> bytes(kUnwritten);
  TextBuilder text = zt::core::StartText(bytes.data(), kSmall);
  zt::core::Append(text, "abcde");
  EXPECT_STREQ(bytes.data(), "abcde");
  zt::core::Append(text, "fghij");
  EXPECT_STREQ(bytes.data(), "abcdefg");
  zt::core::AppendChar(text, 'x');
  zt::core::AppendFixed(text, 12.5, 2);
  zt::core::AppendInt(text, 7);
  zt::core::AppendPadded(text, 3, 2);
  EXPECT_STREQ(bytes.data(), "abcdefg");
  EXPECT_EQ(text.length, kSmall - 1);
  EXPECT_TRUE(bytes.GuardIntact());
}

TEST(TextBuilderBounds, NumbersAreCutInsideTheirDigits) {
  // 1e300 alone is 301 digits and ".00": two of them overflow a host buffer.
  Buffer buffer;
  TextBuilder text = zt::core::StartText(buffer.data(), kCapacity);
  zt::core::AppendFixed(text, 1e300, 2);
  zt::core::Append(text, ", ");
  zt::core::AppendFixed(text, -1e300, 2);
  const std::string full = Printf("%0.2f", 1e300) + ", " + Printf("%0.2f", -1e300);
  ASSERT_GT(full.size(), static_cast<std::size_t>(kCapacity));
  EXPECT_EQ(std::string(buffer.data()), full.substr(0, kCapacity - 1));
  EXPECT_EQ(text.length, kCapacity - 1);
  EXPECT_TRUE(buffer.GuardIntact());
}

}  // namespace
