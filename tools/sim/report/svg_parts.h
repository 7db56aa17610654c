// The pieces every chart of the simulator draws with: numbers and text as SVG writes them, lines,
// a frame, and the two kinds of axis (amounts on the left, UTC times underneath). One copy here,
// so that the single run's chart and the report's charts read alike and place labels alike.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace zt::sim::svg {

// Text metrics in SVG user units: a 12 unit sans-serif font, and a generous average advance of
// one of its glyphs so that estimated label boxes never come out smaller than the drawn text.
inline constexpr double kFontSize = 12;
inline constexpr double kCharWidth = 7.0;
inline constexpr double kLabelGap = 18;  // least free space between two tick labels
inline constexpr double kTickLength = 5;
inline constexpr const char* kGridColour = "#e6e6e6";
inline constexpr double kLegendRow = 20;  // height of a legend's row

// Estimated width of text at kFontSize (one advance per byte, which over-counts non-ASCII).
double MeasureText(const std::string& text);
// text with &, <, > and " written as XML entities, for element text and attribute values alike.
std::string Escape(const std::string& text);
// A coordinate with one decimal ("12.5").
std::string Num(double value);
// A <text> element at (x, y) with the given text-anchor and extra attributes; text is escaped here.
std::string Text(double x, double y, const std::string& text, const char* anchor = "start",
                 const std::string& extra = "");
// A <line> element; style holds its stroke attributes.
std::string Line(double x1, double y1, double x2, double y2, const std::string& style);
// Tick label of an amount axis: as many decimals as the step needs, none for whole steps.
std::string AmountLabel(double value, double step);

// Maps a data range linearly onto a pixel range (end < start for a y axis that grows upwards).
struct Scale {
  double from, to;    // data range
  double start, end;  // pixel range
  double operator()(double value) const {
    return start + (value - from) / (to - from) * (end - start);
  }
};

// A plot's rectangle.
struct Box {
  double left, top, right, bottom;
};

// Horizontal grid lines, tick marks and labels every step for an amount axis on the left of box,
// with title written upwards at the page's left edge. label formats a tick's value for the step.
std::string AmountAxis(const Scale& y, const Box& box, double step, const std::string& title,
                       std::string (*label)(double value, double step) = AmountLabel);
// Vertical grid lines and labels for a time axis under box (x maps seconds since 1970, UTC): the
// smallest round step whose labels do not collide; dates for a span of days, otherwise clock
// times with the date under the first tick of each day. A label that would pass the page's edge
// (0 to pageWidth) is left out.
// labelScale: how much larger than kFontSize the labels may be drawn (a page that prints them
// larger spaces them for that size).
std::string TimeAxis(const Scale& x, const Box& box, double pageWidth, double labelScale = 1.0);
// Round steps for an axis: the smallest of 1, 2 and 5 times a power of ten that is at least
// range / wantedTicks. range > 0, wantedTicks >= 1.
double NiceStep(double range, int wantedTicks);

// One entry of a legend: its text, and a swatch drawn with its centre at (0, 0).
struct LegendItem {
  std::string label;
  std::string swatch;
};
// A short line, and a small bar, in a series' colour: a legend's swatches.
std::string LineSwatch(const char* colour, double width, const char* dash);
std::string BarSwatch(const char* colour);
// The items laid out left to right from (left, top), wrapping to a new row when the next item
// would pass right, as a group of the given id. rows receives the number of rows used.
std::string Legend(const std::string& id, const std::vector<LegendItem>& items, double left,
                   double right, double top, int& rows);

// box's outline.
std::string Frame(const Box& box);
// A <clipPath> of the given id holding box.
std::string ClipTo(const std::string& id, const Box& box);

}  // namespace zt::sim::svg
