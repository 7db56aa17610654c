// The panel as a trader sees it. The terminal double knows every label the EA draws: its text,
// position, font and colour. Each test runs the 32-bit EA to one moment, draws its labels into an
// SVG (and a PNG through rsvg-convert) at 100 % and 150 % display scaling, and fails when two
// labels overlap or one leaves the panel. The pictures go into the build folder; docs/panel holds
// copies for the README and the package, and a test fails when they are not what the build
// draws now.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "zentravo_guard_mq4.h"

namespace {

namespace fs = std::filesystem;

// Courier New (and Liberation Mono, which has its metrics): every character advances 1229/2048
// em; a line reaches 1705/2048 em above the baseline and 615/2048 em below it.
constexpr double kAdvance = 1229.0 / 2048.0, kAscent = 1705.0 / 2048.0, kDescent = 615.0 / 2048.0;

struct Label {
  std::string name, text;
  double x, y, width, height, fontPx;
  mql::color colour;
};

// What ZhScaled makes of a position given for 96 DPI.
int scaled(int pixels, int dpi) { return pixels * dpi / 96; }

// The panel's box: the width the EA lays its columns and state line into, the height of both
// columns' rows, one under the other, and the most lines the state line wraps onto.
double panelWidth(int dpi) { return scaled(ZH_PANEL_WIDTH, dpi); }
double panelHeight(int dpi) { return scaled(20 + (ZH_STATE_ROW + ZH_STATE_LINES) * 14, dpi); }

// Every label on the chart, measured as the terminal draws it: its top left corner at the
// distances from the chart's upper left corner, the font's size in points at the screen's DPI.
std::vector<Label> labels(const mql::Terminal& term) {
  std::vector<Label> found;
  for (const auto& [name, object] : term.objects) {
    EXPECT_EQ(object.integers.at(mql::OBJPROP_CORNER), mql::CORNER_LEFT_UPPER) << name;
    EXPECT_EQ(object.strings.at(mql::OBJPROP_FONT), "Courier New") << name;
    const double px =
        static_cast<double>(object.integers.at(mql::OBJPROP_FONTSIZE)) * term.screenDpi / 72.0;
    const std::string text = object.strings.at(mql::OBJPROP_TEXT);
    found.push_back({name, text, static_cast<double>(object.integers.at(mql::OBJPROP_XDISTANCE)),
                     static_cast<double>(object.integers.at(mql::OBJPROP_YDISTANCE)),
                     px * kAdvance * static_cast<double>(text.size()), px * (kAscent + kDescent),
                     px, static_cast<mql::color>(object.integers.at(mql::OBJPROP_COLOR))});
  }
  // Top to bottom, left to right, as the panel reads.
  std::sort(found.begin(), found.end(),
            [](const Label& a, const Label& b) { return a.y != b.y ? a.y < b.y : a.x < b.x; });
  return found;
}

bool blank(const Label& l) { return l.text.find_first_not_of(' ') == std::string::npos; }

// No two labels with text share a pixel, and none reaches past the panel's box.
void expectApartAndInside(const std::vector<Label>& all, int dpi) {
  for (size_t i = 0; i < all.size(); ++i) {
    const Label& a = all[i];
    if (blank(a)) continue;
    EXPECT_GE(a.x, 0.0) << a.name;
    EXPECT_LE(a.x + a.width, panelWidth(dpi))
        << a.name << " leaves the panel at " << dpi << " DPI: " << a.text;
    EXPECT_LE(a.y + a.height, panelHeight(dpi))
        << a.name << " leaves the panel at " << dpi << " DPI";
    for (size_t j = i + 1; j < all.size(); ++j) {
      const Label& b = all[j];
      if (blank(b)) continue;
      const bool apart = a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y ||
                         b.y + b.height <= a.y;
      EXPECT_TRUE(apart) << a.name << " [" << a.text << "] overlaps " << b.name << " [" << b.text
                         << "] at " << dpi << " DPI";
    }
  }
}

std::string escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '&')
      out += "&amp;";
    else if (c == '<')
      out += "&lt;";
    else if (c == '>')
      out += "&gt;";
    else
      out += c;
  }
  return out;
}

// The chart's black background and the labels in their colours (MQL colours are 0xBBGGRR).
std::string svg(const std::vector<Label>& all, int dpi) {
  char buffer[512];
  std::string out;
  std::snprintf(buffer, sizeof buffer,
                "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
                "viewBox=\"0 0 %.0f %.0f\">\n"
                "<rect width=\"%.0f\" height=\"%.0f\" fill=\"#000000\"/>\n",
                panelWidth(dpi), panelHeight(dpi), panelWidth(dpi), panelHeight(dpi),
                panelWidth(dpi), panelHeight(dpi));
  out += buffer;
  for (const Label& l : all) {
    if (blank(l)) continue;
    std::snprintf(
        buffer, sizeof buffer,
        "<text x=\"%.2f\" y=\"%.2f\" font-family=\"'Courier New', 'Liberation Mono', monospace\" "
        "font-size=\"%.2f\" fill=\"#%02X%02X%02X\" xml:space=\"preserve\">",
        l.x, l.y + l.fontPx * kAscent, l.fontPx, l.colour & 0xFFu, (l.colour >> 8) & 0xFFu,
        (l.colour >> 16) & 0xFFu);
    out += buffer + escaped(l.text) + "</text>\n";
  }
  return out + "</svg>\n";
}

std::string readAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// Draws the chart's labels as name-<100|150>.svg and .png into the build folder and holds the
// copy in docs/panel to it.
void picture(const mql::Terminal& term, const std::string& name) {
  const std::vector<Label> all = labels(term);
  expectApartAndInside(all, term.screenDpi);
  const std::string file = name + "-" + std::to_string(term.screenDpi * 100 / 96);
  fs::create_directories(ZT_PANEL_OUT);
  const fs::path out = fs::path(ZT_PANEL_OUT) / (file + ".svg");
  const fs::path png = fs::path(ZT_PANEL_OUT) / (file + ".png");
  const std::string drawn = svg(all, term.screenDpi);
  std::ofstream(out, std::ios::binary) << drawn;
  ASSERT_STRNE(ZT_RSVG_CONVERT, "")
      << "rsvg-convert is not installed (make deps installs librsvg2-bin)";
  const std::string convert =
      std::string(ZT_RSVG_CONVERT) + " -o '" + png.string() + "' '" + out.string() + "'";
  EXPECT_EQ(std::system(convert.c_str()), 0) << convert;
  EXPECT_TRUE(fs::exists(png));
  const fs::path kept = fs::path(ZT_PANEL_DOCS) / (file + ".svg");
  EXPECT_TRUE(readAll(kept) == drawn)
      << kept << " is not the panel the EA draws now; refresh it:\n  cp " << out << " " << kept;
}

// The quick start's worked example: a 10,000.00 account with increase targets above it.
class PanelPicture : public ::testing::TestWithParam<int> {
 protected:
  mql::Terminal term{ZT_LIBRARY_FILE};
  ea_mq4::Program ea;

  void SetUp() override {
    term.screenDpi = GetParam();
    term.fund(10000.0);
    ea.IncreaseTargets = "10500,11000";
    ea.EmailEquityTarget = 200;
  }
  std::string state() const {
    std::string text = term.label("ZT_STATE");
    for (int line = 1; !term.label("ZT_STATE_" + std::to_string(line)).empty(); ++line)
      text += " " + term.label("ZT_STATE_" + std::to_string(line)).substr(7);
    return text;
  }
};

TEST_P(PanelPicture, RunningAfterAClosedCycle) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 50.0);
  ea.OnTick();  // take profit: closed, rolled onto 10050
  term.tickCount += 3600 * 1000;
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -12.30);
  ea.OnTick();
  ASSERT_DOUBLE_EQ(term.library().GetEquitySnap(), 10050.0);
  ASSERT_EQ(state(), "Guard: running");
  picture(term, "running");
}

TEST_P(PanelPicture, ACloseUnderWay) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -60.0);
  term.openOrder("EURUSD", mql::OP_SELL, 1.0, -40.0);
  term.closeErrors = {mql::ERR_REQUOTE, mql::ERR_REQUOTE};
  ea.OnTick();  // 9900: the stop loss
  ASSERT_FALSE(term.orders.empty());
  ASSERT_EQ(state(), "Guard: CLOSING all trades");
  picture(term, "closing");
}

// The longest state the panel shows: the reason wraps inside the panel, and its end, what the
// trader is to do, is still there.
TEST_P(PanelPicture, NotProtectingWithItsReason) {
  ASSERT_EQ(ea.OnInit(), mql::INIT_SUCCEEDED);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, 50.0);
  ea.OnTick();
  term.restart(ea);
  fs::remove(term.filesFolder() +
             "/ZentravoGuard/123456@Broker-Demo.state");  // the EA's memory lost
  term.balanceOperation(-500.0);
  term.openOrder("EURUSD", mql::OP_BUY, 1.0, -3.20);
  ea_mq4::Program restarted;
  restarted.IncreaseTargets = ea.IncreaseTargets;
  restarted.EmailEquityTarget = ea.EmailEquityTarget;
  ASSERT_EQ(restarted.OnInit(), mql::INIT_SUCCEEDED);
  const std::string text = state();
  EXPECT_EQ(text.find("Guard: NOT PROTECTING - holding: the EA has no memory file"), 0u) << text;
  const std::string end = "set StartOver to true to start over on the present equity";
  EXPECT_EQ(text.substr(text.size() - std::min(text.size(), end.size())), end) << text;
  EXPECT_FALSE(term.label("ZT_STATE_1").empty());
  picture(term, "not-protecting");
}

INSTANTIATE_TEST_SUITE_P(Scaling, PanelPicture, ::testing::Values(96, 144),
                         [](const ::testing::TestParamInfo<int>& info) {
                           return "Dpi" + std::to_string(info.param);
                         });

}  // namespace
