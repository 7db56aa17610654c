// The dashboard's texts, and every other text a host can get from the guard, do not depend on
// the locale.
#include "texts/dashboard.h"

#include "dashboard_support.h"

namespace {

using namespace dashboard_testing;

// ---- Locale ----------------------------------------------------------------------------------

// Every text a host can get from the guard, in one list.
std::vector<std::string> EveryText() {
  std::vector<std::string> texts;
  const auto add = [&](const HostBuffer& buffer) {
    texts.push_back(buffer.Untouched() ? std::string("<nothing>") : buffer.Text());
  };
  for (int kind = 0; kind <= 5; ++kind) {
    HostBuffer buffer;
    zt::texts::WriteAlert(kind, buffer.data(), ZT_TEXT_CAPACITY);
    add(buffer);
  }
  for (int kind = 0; kind <= 3; ++kind) {
    HostBuffer buffer;
    zt::texts::WriteEmailSubject(kind, buffer.data(), ZT_TEXT_CAPACITY);
    add(buffer);
    for (int part = 0; part <= 6; ++part) {
      HostBuffer line;
      zt::texts::WriteEmailLine(part, kind, 1234.5, line.data(), ZT_TEXT_CAPACITY);
      add(line);
    }
  }
  for (const int column : {0, 1}) {
    for (int row = 0; row <= 15; ++row) {
      HostBuffer label;
      zt::texts::WriteLabel(row, column, label.data(), ZT_TEXT_CAPACITY);
      add(label);
      HostBuffer value;
      zt::texts::WriteValue(row, column, value.data(), ZT_TEXT_CAPACITY);
      add(value);
    }
  }
  return texts;
}

using DashboardLocale = DashboardTest;

TEST_F(DashboardLocale, ACommaDecimalLocaleChangesNoText) {
  guard.increaseIndex = 1;
  guard.reachedDrawdownTarget = 20.5;
  guard.closeDurationMs = 1500;
  std::tie(guard.emailEquityTarget, guard.emailMarginPercent, guard.emailDrawdown) =
      std::tuple(250.25, 50.0, 75.5);
  const std::vector<std::string> inC = EveryText();

  const char* const previous = std::setlocale(LC_ALL, nullptr);
  const std::string restore = previous != nullptr ? previous : "C";
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "the de_DE.UTF-8 locale is not installed";
  }
  std::array<char, 16> probe{};
  std::snprintf(probe.data(), probe.size(), "%0.1f", 1.5);
  const std::string decimal = probe.data();
  const std::vector<std::string> inGerman = EveryText();
  std::setlocale(LC_ALL, restore.c_str());

  EXPECT_EQ(decimal, "1,5") << "the locale does not write a decimal comma";
  EXPECT_EQ(inGerman, inC);
  ASSERT_GT(inGerman.size(), 2u);
  EXPECT_EQ(inGerman[2],
            "Prev Snap $1000.00, TP: $50.00, New Snap $985.00 ($-15.00), DD -$50.00, TTC 1.5s, "
            "ZT CloseAll Take Profit Complete");
}

}  // namespace
