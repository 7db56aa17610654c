#include "report/svg_parts.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "market/utc_time.h"
#include "number_text.h"

namespace zt::sim::svg {
namespace {

// The smallest step of a fixed ladder whose labels do not collide.
struct TimeStep {
  std::int64_t seconds;
  bool dateOnly;  // labels are dates; otherwise clock times, with the date under each new day
};

std::string DateText(std::int64_t time) { return FormatTime(time).substr(0, 10); }
std::string ClockText(std::int64_t time) { return FormatTime(time).substr(11, 5); }

constexpr std::int64_t kDay = 86400, kWeek = 7 * kDay, kMonth = 30 * kDay;

// The first instant of the month `months` after January of year 0 ("2024.03.01 00:00").
std::int64_t MonthStart(std::int64_t months) {
  char text[64];
  std::snprintf(text, sizeof text, "%04lld.%02lld.01 00:00", static_cast<long long>(months / 12),
                static_cast<long long>(months % 12 + 1));
  return ParseTime(text).value_or(0);
}

// The ticks of a time axis from `from` to `to` every `step` seconds, at the boundaries a reader
// counts by: steps of a month or more on the first of a month (every 1, 3, 12 or 120 months),
// weeks on Mondays, shorter steps on their multiples since midnight.
std::vector<std::int64_t> TickTimes(std::int64_t from, double to, std::int64_t step) {
  std::vector<std::int64_t> ticks;
  if (step >= kMonth && from >= 0) {
    // An average month is 30.44 days: 30, 90, 365 and 3650 days are 1, 3, 12 and 120 months.
    const std::int64_t every =
        std::max<std::int64_t>(1, std::llround(static_cast<double>(step) / 2629800.0));
    const std::string date = FormatTime(from);
    std::int64_t month = std::stoll(date.substr(0, 4)) * 12 + std::stoll(date.substr(5, 2)) - 1;
    month = (month + every - 1) / every * every;
    if (MonthStart(month) < from) month += every;
    for (; static_cast<double>(MonthStart(month)) <= to; month += every)
      ticks.push_back(MonthStart(month));
    return ticks;
  }
  // 1970.01.05 was a Monday: weeks are counted from it.
  const std::int64_t origin = step % kWeek == 0 ? 4 * kDay : 0;
  std::int64_t tick = from - origin;
  tick = (tick >= 0 ? (tick + step - 1) / step : tick / step) * step + origin;
  for (; static_cast<double>(tick) <= to; tick += step) ticks.push_back(tick);
  return ticks;
}

}  // namespace

double MeasureText(const std::string& text) {
  return static_cast<double>(text.size()) * kCharWidth;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string Num(double value) { return tools::Fixed(value, 1); }

std::string Text(double x, double y, const std::string& text, const char* anchor,
                 const std::string& extra) {
  return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" text-anchor=\"" + anchor + "\"" +
         (extra.empty() ? "" : " " + extra) + ">" + Escape(text) + "</text>\n";
}

std::string Line(double x1, double y1, double x2, double y2, const std::string& style) {
  return "<line x1=\"" + Num(x1) + "\" y1=\"" + Num(y1) + "\" x2=\"" + Num(x2) + "\" y2=\"" +
         Num(y2) + "\" " + style + "/>\n";
}

std::string AmountLabel(double value, double step) {
  const int decimals = step >= 1.0 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  return tools::Fixed(std::abs(value) < step * 1e-6 ? 0.0 : value, decimals);
}

std::string AmountAxis(const Scale& y, const Box& box, double step, const std::string& title,
                       std::string (*label)(double value, double step)) {
  std::string out = "<g class=\"axis\">\n";
  const double first = std::ceil(y.from / step - 1e-9) * step;
  for (double value = first; value <= y.to + step * 1e-9; value += step) {
    const double py = y(value);
    out += Line(box.left, py, box.right, py, std::string("stroke=\"") + kGridColour + "\"");
    out += Line(box.left - kTickLength, py, box.left, py, "stroke=\"#333\"");
    out += Text(box.left - kTickLength - 3, py + 4, label(value, step), "end");
  }
  const double middle = (box.top + box.bottom) / 2;
  out += Text(18, middle, title, "middle", "transform=\"rotate(-90 18 " + Num(middle) + ")\"");
  return out + "</g>\n";
}

std::string TimeAxis(const Scale& x, const Box& box, double pageWidth, double labelScale) {
  static constexpr TimeStep kLadder[] = {
      {60, false},     {120, false},    {300, false},     {600, false},     {900, false},
      {1800, false},   {3600, false},   {7200, false},    {10800, false},   {21600, false},
      {43200, false},  {86400, true},   {172800, true},   {604800, true},   {1209600, true},
      {2592000, true}, {7776000, true}, {31536000, true}, {315360000, true}};
  const double span = x.to - x.from;
  const double pixels = box.right - box.left;
  const bool manyDays = span > 86400;
  TimeStep chosen = kLadder[std::size(kLadder) - 1];
  for (const TimeStep& step : kLadder) {
    const double labelWidth =
        MeasureText(step.dateOnly || manyDays ? "2024.01.02" : "00:00") * labelScale;
    if (static_cast<double>(step.seconds) / span * pixels >= labelWidth + kLabelGap) {
      chosen = step;
      break;
    }
  }
  std::string out = "<g class=\"axis\">\n";
  std::string lastDate;
  for (const std::int64_t tick :
       TickTimes(static_cast<std::int64_t>(std::ceil(x.from)), x.to, chosen.seconds)) {
    const double px = x(static_cast<double>(tick));
    out += Line(px, box.top, px, box.bottom, std::string("stroke=\"") + kGridColour + "\"");
    out += Line(px, box.bottom, px, box.bottom + kTickLength, "stroke=\"#333\"");
    // A label centred on a tick near the page edge would be cut off: the tick stays unlabelled.
    const double halfLabel =
        MeasureText(chosen.dateOnly || manyDays ? "2024.01.02" : "00:00") * labelScale / 2;
    if (px - halfLabel < 0 || px + halfLabel > pageWidth) continue;
    if (chosen.dateOnly) {
      out += Text(px, box.bottom + 18, DateText(tick), "middle");
      continue;
    }
    out += Text(px, box.bottom + 18, ClockText(tick), "middle");
    if (DateText(tick) != lastDate) {
      lastDate = DateText(tick);
      out += Text(px, box.bottom + 32, lastDate, "middle", "fill=\"#666\"");
    }
  }
  return out + "</g>\n";
}

double NiceStep(double range, int wantedTicks) {
  const double raw = range / wantedTicks;
  const double power = std::pow(10.0, std::floor(std::log10(raw)));
  for (const double factor : {1.0, 2.0, 5.0, 10.0}) {
    if (factor * power >= raw * (1 - 1e-9)) return factor * power;
  }
  return 10.0 * power;
}

std::string LineSwatch(const char* colour, double width, const char* dash) {
  return "<line x1=\"-11\" y1=\"0\" x2=\"11\" y2=\"0\" stroke=\"" + std::string(colour) +
         "\" stroke-width=\"" + Num(width) + "\"" +
         (dash[0] != '\0' ? std::string(" stroke-dasharray=\"") + dash + "\"" : "") + "/>";
}

std::string BarSwatch(const char* colour) {
  return "<rect x=\"-5\" y=\"-6\" width=\"10\" height=\"12\" fill=\"" + std::string(colour) +
         "\"/>";
}

std::string Legend(const std::string& id, const std::vector<LegendItem>& items, double left,
                   double right, double top, int& rows) {
  std::string out = "<g id=\"" + id + "\">\n";
  double x = left;
  double y = top + kLegendRow / 2;
  rows = items.empty() ? 0 : 1;
  for (const LegendItem& item : items) {
    const double width = 30 + MeasureText(item.label) + 22;
    if (x + width > right && x > left) {
      x = left;
      y += kLegendRow;
      ++rows;
    }
    out +=
        "<g transform=\"translate(" + Num(x + 11) + " " + Num(y) + ")\">" + item.swatch + "</g>\n";
    out += Text(x + 30, y + 4, item.label);
    x += width;
  }
  return out + "</g>\n";
}

std::string Frame(const Box& box) {
  return "<rect x=\"" + Num(box.left) + "\" y=\"" + Num(box.top) + "\" width=\"" +
         Num(box.right - box.left) + "\" height=\"" + Num(box.bottom - box.top) +
         "\" fill=\"none\" stroke=\"#333\"/>\n";
}

std::string ClipTo(const std::string& id, const Box& box) {
  return "<clipPath id=\"" + id + "\"><rect x=\"" + Num(box.left) + "\" y=\"" + Num(box.top) +
         "\" width=\"" + Num(box.right - box.left) + "\" height=\"" + Num(box.bottom - box.top) +
         "\"/></clipPath>\n";
}

}  // namespace zt::sim::svg
