#include "host/dashboard.h"

#include <gtest/gtest.h>

namespace zt::sim {
namespace {

TEST(NumbersIn, PicksTheNumbersOfPanelAndAlertTexts) {
  struct Case {
    const char* text;
    std::vector<double> numbers;
  };
  const Case cases[] = {
      {"-50.00 / -5.00 % [2011.07.13 09:39]", {-50, -5, 2011.07, 13, 9, 39}},
      {"50.00, 5.00 %, 1050.00", {50, 5, 1050}},
      {"20.00, 980.00; 30.00", {20, 980, 30}},
      {"--, --; --", {}},
      {"--, (--)", {}},
      {"1100.00, (-17.36)", {1100, -17.36}},
      {"Prev Snap $1000.00, SL: -$100.00", {1000, 100}},
      {"", {}},
      {"7 / -16.14 / -7.39 / -39.01", {7, -16.14, -7.39, -39.01}},
  };
  for (const Case& c : cases) {
    const std::vector<double> numbers = NumbersIn(c.text);
    ASSERT_EQ(numbers.size(), c.numbers.size()) << c.text;
    for (std::size_t i = 0; i < numbers.size(); ++i)
      EXPECT_DOUBLE_EQ(numbers[i], c.numbers[i]) << c.text;
  }
}

}  // namespace
}  // namespace zt::sim
