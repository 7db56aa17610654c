#include "report/report_charts.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>
#include <utility>

#include "number_text.h"
#include "report/svg_parts.h"

namespace zt::sim {
namespace {

using namespace svg;
using tools::Money;

// The page scales the picture to its width: 960 units read well on a 1280 px screen and, at
// 800 px, still leave the 12 unit ticks at some 10 px.
constexpr double kWidth = 960;
constexpr double kNameSize = 13;       // series names, above the ticks' size
constexpr double kNameAdvance = 10.4;  // of a bold 15 unit glyph, generously
// The page prints chart labels at 15 units (8 pt on A4): labels are spaced for that size.
constexpr double kPrintScale = 15.0 / kFontSize;
constexpr double kNameGap = 18;           // least distance of two names' baselines
constexpr std::size_t kLongestName = 24;  // glyphs of a name written on a chart
constexpr double kLeader = 14;            // from a line's end to its name
constexpr double kTop = 14;
constexpr double kPlotHeight = 260;
constexpr double kTimeAxisHeight = 58;    // time labels, their dates, the axis title
constexpr double kRowHeight = 26;         // of one distribution row
constexpr double kAmountAxisHeight = 46;  // amount labels and the axis title
constexpr double kPointsPerUnit = 2;      // beyond this a line is thinned per column
const char* const kNoGuardColour = "#4D4D4D";

// ---- Names ----

bool StartsGlyph(char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }

// Glyphs (UTF-8 code points) in text: what its drawn width depends on.
std::size_t Glyphs(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), StartsGlyph));
}

// text cut to at most `most` glyphs, the last an ellipsis, when it is longer.
std::string Shortened(const std::string& text, std::size_t most) {
  if (Glyphs(text) <= most) return text;
  std::string out;
  std::size_t glyphs = 0;
  for (const char c : text) {
    if (StartsGlyph(c) && ++glyphs == most) break;
    out += c;
  }
  return out + "\xE2\x80\xA6";
}

// A series' name as a <text> element: shortened on the chart, whole in its tooltip.
std::string NameText(double x, double y, const std::string& name, std::size_t most,
                     const std::string& extra) {
  return "<text x=\"" + Num(x) + "\" y=\"" + Num(y) + "\" " + extra + "><title>" + Escape(name) +
         "</title>" + Escape(Shortened(name, most)) + "</text>\n";
}

std::string SvgStart(double height, const std::string& label) {
  return "<svg xmlns=\"http://www.w3.org/2000/svg\" version=\"1.1\" viewBox=\"0 0 " + Num(kWidth) +
         " " + Num(height) + "\" width=\"100%\" role=\"img\" aria-label=\"" + Escape(label) +
         "\" font-family=\"DejaVu Sans, Helvetica, Arial, sans-serif\" font-size=\"" +
         Num(kFontSize) + "\">\n<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";
}

std::string Stroke(const SeriesStyle& style, double width) {
  return "stroke=\"" + std::string(style.colour) + "\" stroke-width=\"" + Num(width) + "\"" +
         (style.dash[0] != '\0' ? " stroke-dasharray=\"" + std::string(style.dash) + "\"" : "");
}

// ---- Amounts ----

// Tick labels as the lab prints amounts: whole where the step is whole, else two decimals (more
// only when the step is finer than a cent).
std::string TickAmount(double value, double step) {
  if (step >= 1 || step < 0.01) return AmountLabel(value, step);
  return Money(std::abs(value) < step * 1e-6 ? 0.0 : value);
}

// The lowest and highest finite value seen.
struct Extent {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  void Add(double value) {
    if (!std::isfinite(value)) return;
    low = std::min(low, value);
    high = std::max(high, value);
  }
  void Add(const std::vector<double>& values) {
    for (const double value : values) Add(value);
  }
  // The range an axis shows: padded so that nothing touches the frame, and one unit either side
  // of a single value.
  std::pair<double, double> Padded() const {
    if (low > high) return {0.0, 1.0};
    double from = low, to = high;
    if (to - from < 1e-6 || !std::isfinite(to - from)) {
      from -= 1;
      to += 1;
    }
    const double pad = (to - from) * 0.04;
    return {from - pad, to + pad};
  }
};

// The roundest step whose tick labels fit `pixels` apart, for an axis of `range` over `pixels`.
double FittingStep(const Scale& scale, double pixels, int wanted) {
  const double range = scale.to - scale.from;
  for (; wanted > 1; --wanted) {
    const double step = NiceStep(range, wanted);
    const double widest = std::max(MeasureText(TickAmount(scale.from, step)),
                                   MeasureText(TickAmount(scale.to, step))) *
                          kPrintScale;
    if (step / range * pixels >= widest + kLabelGap) return step;
  }
  return NiceStep(range, 1);
}

// The widest tick label of an amount axis with the given step.
double WidestTick(const Scale& y, double step) {
  double widest = 0;
  const double first = std::ceil(y.from / step - 1e-9) * step;
  for (double value = first; value <= y.to + step * 1e-9; value += step) {
    widest = std::max(widest, MeasureText(TickAmount(value, step)) * kPrintScale);
  }
  return widest;
}

// ---- The equity chart ----

// Consecutive indices [first, end) drawn as one: a pixel column's when the line is thinned,
// otherwise each index alone.
struct Span {
  std::size_t first, end;
};

std::vector<Span> Columns(const std::vector<std::int64_t>& times, std::size_t n, const Scale& x) {
  std::vector<Span> spans;
  if (static_cast<double>(n) <= kPointsPerUnit * std::abs(x.end - x.start)) {
    for (std::size_t i = 0; i < n; ++i) spans.push_back({i, i + 1});
    return spans;
  }
  std::size_t i = 0;
  while (i < n) {
    const double column = std::floor(x(static_cast<double>(times[i])));
    std::size_t j = i + 1;
    while (j < n && std::floor(x(static_cast<double>(times[j]))) == column) ++j;
    spans.push_back({i, j});
    i = j;
  }
  return spans;
}

struct Point {
  double x, y;
};

// The line through each column's lowest and highest finite value, in the order they happened.
std::vector<Point> LinePoints(const std::vector<std::int64_t>& times,
                              const std::vector<double>& values, const std::vector<Span>& spans,
                              const Scale& x, const Scale& y) {
  std::vector<Point> points;
  for (const Span& span : spans) {
    std::size_t low = span.end, high = span.end;
    for (std::size_t i = span.first; i < span.end; ++i) {
      if (!std::isfinite(values[i])) continue;
      if (low == span.end || values[i] < values[low]) low = i;
      if (high == span.end || values[i] > values[high]) high = i;
    }
    if (low == span.end) continue;
    const auto at = [&](std::size_t i) {
      return Point{x(static_cast<double>(times[i])), y(values[i])};
    };
    points.push_back(at(std::min(low, high)));
    if (low != high) points.push_back(at(std::max(low, high)));
  }
  return points;
}

std::string PathData(const std::vector<Point>& points) {
  std::string d;
  for (const Point& p : points) d += (d.empty() ? "M" : " L") + Num(p.x) + " " + Num(p.y);
  // A lone point is drawn as a dot: a zero-length segment with round caps.
  if (points.size() == 1) d += " l0 0";
  return d;
}

// The 5th-95th percentile band as one closed outline: the upper edge forwards, the lower back.
std::string BandData(const CurveChart& chart, const CurveLine& line, const Scale& x,
                     const Scale& y) {
  const std::size_t n = std::min({chart.times.size(), line.low.size(), line.high.size()});
  std::vector<Point> upper, lower;
  for (const Span& span : Columns(chart.times, n, x)) {
    Extent extent;
    for (std::size_t i = span.first; i < span.end; ++i) {
      if (!std::isfinite(line.low[i]) || !std::isfinite(line.high[i])) continue;
      extent.Add(line.low[i]);
      extent.Add(line.high[i]);
    }
    if (extent.low > extent.high) continue;
    const double px = x(static_cast<double>(chart.times[span.first]));
    upper.push_back({px, y(extent.high)});
    lower.push_back({px, y(extent.low)});
  }
  if (upper.empty()) return {};
  upper.insert(upper.end(), lower.rbegin(), lower.rend());
  return PathData(upper) + " Z";
}

// Places labels of height `gap` as near their wanted centres (ascending) as they go without
// overlapping, inside [lowest, highest]: labels that would meet form a group centred on the
// mean of their wanted places. The range must hold them all.
std::vector<double> SpreadApart(const std::vector<double>& wanted, double gap, double lowest,
                                double highest) {
  struct Group {
    double first;
    std::size_t count;
    double sum;
  };
  const auto place = [&](Group& g) {
    const double span = static_cast<double>(g.count - 1) * gap;
    g.first = std::clamp(g.sum / static_cast<double>(g.count) - span / 2, lowest,
                         std::max(lowest, highest - span));
  };
  std::vector<Group> groups;
  for (const double centre : wanted) {
    groups.push_back({centre, 1, centre});
    place(groups.back());
    while (groups.size() > 1) {
      Group& before = groups[groups.size() - 2];
      const Group& last = groups.back();
      if (before.first + static_cast<double>(before.count) * gap <= last.first + 1e-9) break;
      before.count += last.count;
      before.sum += last.sum;
      groups.pop_back();
      place(groups.back());
    }
  }
  std::vector<double> placed;
  for (const Group& g : groups) {
    for (std::size_t k = 0; k < g.count; ++k)
      placed.push_back(g.first + static_cast<double>(k) * gap);
  }
  return placed;
}

struct LineEnd {
  std::size_t line;
  Point end;
};

// Each line's name at its last point, right of the plot, pushed apart so that no two meet; a
// short leader joins a name that had to move (or a line that ends early) to its line.
std::string EndLabels(const CurveChart& chart, std::vector<LineEnd> ends, const Box& box) {
  // Names of lines ending on the same amount keep the report's order, top to bottom.
  std::stable_sort(ends.begin(), ends.end(),
                   [](const LineEnd& a, const LineEnd& b) { return a.end.y < b.end.y; });
  std::vector<double> wanted;
  for (const LineEnd& e : ends) wanted.push_back(e.end.y);
  const std::vector<double> placed =
      SpreadApart(wanted, kNameGap, box.top + kNameGap / 2, box.bottom);
  std::string out =
      "<g class=\"series-names\" font-size=\"" + Num(kNameSize) + "\" font-weight=\"bold\">\n";
  const double textX = box.right + kLeader;
  for (std::size_t k = 0; k < ends.size(); ++k) {
    const SeriesStyle style = StyleSeries(chart.firstSeries + ends[k].line);
    const Point& end = ends[k].end;
    if (std::abs(placed[k] - end.y) > 1 || end.x < box.right - 1) {
      out += Line(end.x + 2, end.y, textX - 3, placed[k],
                  "stroke=\"" + std::string(style.colour) + "\"");
    }
    out +=
        NameText(textX, placed[k] + kNameSize * 0.35, chart.lines[ends[k].line].name, kLongestName,
                 "class=\"series-name\" fill=\"" + std::string(style.colour) + "\"");
  }
  return out + "</g>\n";
}

// The bands under every line, then the lines, then their names.
std::string CurveSeries(const CurveChart& chart, const Scale& x, const Scale& y, const Box& box) {
  std::string bands, lines;
  std::vector<LineEnd> ends;
  for (std::size_t k = 0; k < chart.lines.size(); ++k) {
    const CurveLine& line = chart.lines[k];
    const SeriesStyle style = StyleSeries(chart.firstSeries + k);
    const std::string series = "data-series=\"" + Escape(line.name) + "\"";
    // A faint fill alone blends where bands overlap: each band's edges are drawn in its colour
    // too, thin and dotted, so that every band can be followed through the others.
    if (const std::string d = BandData(chart, line, x, y); !d.empty()) {
      bands += "<path " + series + " class=\"band\" d=\"" + d + "\" fill=\"" + style.colour +
               "\" fill-opacity=\"0.08\" stroke=\"" + style.colour +
               "\" stroke-opacity=\"0.75\" stroke-width=\"1\" stroke-dasharray=\"2 2\"/>\n";
    }
    const std::size_t n = std::min(chart.times.size(), line.value.size());
    const std::vector<Point> points =
        LinePoints(chart.times, line.value, Columns(chart.times, n, x), x, y);
    if (points.empty()) continue;
    lines += "<path " + series + " class=\"curve\" d=\"" + PathData(points) + "\" fill=\"none\" " +
             Stroke(style, 2) + " stroke-linejoin=\"round\" stroke-linecap=\"" +
             (points.size() == 1 ? "round" : "butt") + "\"/>\n";
    ends.push_back({k, points.back()});
  }
  return bands + lines + EndLabels(chart, ends, box);
}

// ---- The distribution chart ----

// The value below which a share p of the sorted values lies, between neighbours linearly.
double Percentile(const std::vector<double>& sorted, double p) {
  const double at = p * static_cast<double>(sorted.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(at));
  const std::size_t above = std::min(below + 1, sorted.size() - 1);
  return sorted[below] + (sorted[above] - sorted[below]) * (at - static_cast<double>(below));
}

// A run's dot's offset from its row's centre line, a share of the row's height: the fractional
// parts of multiples of the golden ratio spread any number of runs evenly and the same each time.
double Jitter(std::size_t run) {
  const double golden = 0.6180339887498949;
  const double turn = static_cast<double>(run) * golden;
  return (turn - std::floor(turn) - 0.5) * 0.62;
}

// Every run's dot, one per pixel (thousands of runs on one pixel add nothing but bytes), and the
// worst run's dot outlined.
std::string RunDots(const Spread& row, const SeriesStyle& style, const Scale& x, double centre) {
  std::string dots = "<g data-series=\"" + Escape(row.name) + "\" class=\"runs\" fill=\"" +
                     style.colour + "\" fill-opacity=\"0.55\">\n";
  std::set<std::pair<long, long>> drawn;
  std::size_t worst = row.values.size();
  for (std::size_t i = 0; i < row.values.size(); ++i) {
    const double value = row.values[i];
    if (!std::isfinite(value)) continue;
    if (worst == row.values.size() || value < row.values[worst]) worst = i;
    const double px = x(value), py = centre + Jitter(i) * kRowHeight;
    if (!drawn.emplace(std::lround(px * 2), std::lround(py * 2)).second) continue;
    dots += "<circle cx=\"" + Num(px) + "\" cy=\"" + Num(py) + "\" r=\"2.4\"/>\n";
  }
  dots += "</g>\n";
  if (worst < row.values.size()) {
    dots += "<circle class=\"worst\" cx=\"" + Num(x(row.values[worst])) + "\" cy=\"" +
            Num(centre + Jitter(worst) * kRowHeight) +
            "\" r=\"4.2\" fill=\"none\" stroke=\"#111\" stroke-width=\"1.4\"><title>worst run: " +
            Money(row.values[worst]) + "</title></circle>\n";
  }
  return dots;
}

// The 5th-95th percentile box, drawn under the dots, with the row's figures as its tooltip.
std::string PercentileBox(const Spread& row, const std::vector<double>& sorted,
                          const SeriesStyle& style, const Scale& x, double centre) {
  const double p5 = Percentile(sorted, 0.05), median = Percentile(sorted, 0.5),
               p95 = Percentile(sorted, 0.95);
  const double half = kRowHeight * 0.36;
  const std::string tip = Escape(row.name) + ": median " + Money(median) +
                          ", 5th to 95th percentile " + Money(p5) + " to " + Money(p95) + ", " +
                          std::to_string(sorted.size()) + " runs";
  return "<rect class=\"percentiles\" x=\"" + Num(x(p5) - 0.5) + "\" y=\"" + Num(centre - half) +
         "\" width=\"" + Num(x(p95) - x(p5) + 1) + "\" height=\"" + Num(2 * half) + "\" fill=\"" +
         style.colour + "\" fill-opacity=\"0.15\" stroke=\"" + style.colour + "\"><title>" + tip +
         "</title></rect>\n";
}

// The median as a thick tick across the row, drawn over the dots.
std::string MedianMark(const std::vector<double>& sorted, const Scale& x, double centre) {
  const double px = x(Percentile(sorted, 0.5));
  const double half = kRowHeight * 0.36 + 3;
  return Line(px, centre - half, px, centre + half,
              "class=\"median\" stroke=\"#111\" stroke-width=\"3.5\"");
}

std::string DistributionRow(const Spread& row, std::size_t index, const Scale& x, const Box& box,
                            double top) {
  const double centre = top + kRowHeight / 2;
  std::string out =
      NameText(12, centre + 4, row.name, kLongestName, "class=\"row-name\" fill=\"#222\"");
  std::vector<double> sorted;
  for (const double value : row.values) {
    if (std::isfinite(value)) sorted.push_back(value);
  }
  if (sorted.empty())
    return out + Text(box.left + 8, centre + 4, "no runs", "start", "fill=\"#666\"");
  std::sort(sorted.begin(), sorted.end());
  const SeriesStyle style = StyleSeries(index);
  return out + PercentileBox(row, sorted, style, x, centre) + RunDots(row, style, x, centre) +
         MedianMark(sorted, x, centre);
}

// Grid lines through every row and the amounts under them.
std::string BottomAmountAxis(const Scale& x, const Box& box, const std::string& title) {
  const double step = FittingStep(x, box.right - box.left, 10);
  std::string out = "<g class=\"axis\">\n";
  const double first = std::ceil(x.from / step - 1e-9) * step;
  for (double value = first; value <= x.to + step * 1e-9; value += step) {
    const double px = x(value);
    out += Line(px, box.top, px, box.bottom, std::string("stroke=\"") + kGridColour + "\"");
    out += Line(px, box.bottom, px, box.bottom + kTickLength, "stroke=\"#333\"");
    out += Text(px, box.bottom + 18, TickAmount(value, step), "middle");
  }
  out += Text((box.left + box.right) / 2, box.bottom + 38, title, "middle", "fill=\"#444\"");
  return out + "</g>\n";
}

std::string AriaNames(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

}  // namespace

SeriesStyle StyleSeries(std::size_t index) {
  static constexpr const char* kColours[] = {"#0072B2", "#D55E00", "#009E73",
                                             "#CC79A7", "#E69F00", "#56B4E9"};
  // Seven dashes against six colours: a colour comes back with another dash.
  static constexpr const char* kDashes[] = {"",    "9 4",          "9 3 2 3", "16 4 4 4",
                                            "5 5", "12 3 2 3 2 3", "18 6"};
  if (index == 0) return {kNoGuardColour, "2 3"};
  return {kColours[(index - 1) % std::size(kColours)], kDashes[(index - 1) % std::size(kDashes)]};
}

std::string RenderCurveChart(const CurveChart& chart) {
  Extent amounts;
  std::size_t longest = 0;
  std::vector<std::string> names;
  for (const CurveLine& line : chart.lines) {
    for (const auto* values : {&line.value, &line.low, &line.high}) amounts.Add(*values);
    longest = std::max(longest, std::min(Glyphs(line.name), kLongestName));
    names.push_back(line.name);
  }
  const auto [low, high] = amounts.Padded();
  // A chart of one line (no guard on its own, under the ladders') has no names to keep apart and
  // stands beside a full chart: it takes less height.
  const double plotHeight =
      chart.lines.size() == 1
          ? kPlotHeight * 0.75
          : std::max(kPlotHeight, static_cast<double>(chart.lines.size()) * kNameGap + kNameGap);
  const Scale y{low, high, kTop + plotHeight, kTop};
  const double step = NiceStep(high - low, std::max(3, static_cast<int>(plotHeight / 45)));
  const Box box{38 + WidestTick(y, step), kTop,
                kWidth - kLeader - static_cast<double>(longest) * kNameAdvance - 8,
                kTop + plotHeight};
  const double t0 = chart.times.empty() ? 0.0 : static_cast<double>(chart.times.front());
  const double t1 = chart.times.empty() ? 60.0 : static_cast<double>(chart.times.back());
  const Scale x{t0, t1 > t0 ? t1 : t0 + 60, box.left, box.right};
  std::string svg =
      SvgStart(box.bottom + kTimeAxisHeight, chart.valueTitle + " over time: " + AriaNames(names));
  svg += AmountAxis(y, box, step, chart.valueTitle, TickAmount);
  if (!chart.times.empty()) svg += TimeAxis(x, box, kWidth, kPrintScale);
  svg += Text(box.right, box.bottom + 50, "time (UTC)", "end", "fill=\"#666\"");
  svg += CurveSeries(chart, x, y, box);
  if (chart.times.empty() || chart.lines.empty()) {
    svg += Text((box.left + box.right) / 2, (box.top + box.bottom) / 2, "nothing to show", "middle",
                "fill=\"#666\"");
  }
  return svg + Frame(box) + "</svg>\n";
}

std::string RenderDistribution(const std::vector<Spread>& rows, const std::string& axisTitle) {
  Extent amounts;
  std::size_t longest = 0;
  std::vector<std::string> names;
  for (const Spread& row : rows) {
    amounts.Add(row.values);
    longest = std::max(longest, std::min(Glyphs(row.name), kLongestName));
    names.push_back(row.name);
  }
  const auto [low, high] = amounts.Padded();
  const double nameWidth =
      std::max(static_cast<double>(longest) * kCharWidth, MeasureText("no guard")) * kPrintScale;
  const Box box{12 + nameWidth + 14, kTop, kWidth - 30,
                kTop + kRowHeight * static_cast<double>(std::max<std::size_t>(rows.size(), 1))};
  const Scale x{low, high, box.left, box.right};
  std::string svg =
      SvgStart(box.bottom + kAmountAxisHeight, axisTitle + " over runs: " + AriaNames(names));
  svg += BottomAmountAxis(x, box, axisTitle);
  for (std::size_t k = 0; k < rows.size(); ++k) {
    const double top = box.top + kRowHeight * static_cast<double>(k);
    if (k > 0) svg += Line(box.left, top, box.right, top, "stroke=\"#d0d0d0\"");
    svg += DistributionRow(rows[k], k, x, box, top);
  }
  if (rows.empty()) {
    svg += Text((box.left + box.right) / 2, (box.top + box.bottom) / 2 + 4, "nothing to show",
                "middle", "fill=\"#666\"");
  }
  return svg + Frame(box) + "</svg>\n";
}

}  // namespace zt::sim
