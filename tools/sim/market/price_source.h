// Where the position market's prices come from: the seeded price model, or a symbol's recorded
// history (price_history.h). The market asks for one quote after another and writes down where the
// source stands, so that a paused run resumes at the same quote.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "market/price_history.h"
#include "market/price_model.h"

namespace zt::sim {

class PriceSource {
 public:
  virtual ~PriceSource() = default;
  virtual const Quote& quote() const = 0;
  // Quotes moved on since the first.
  virtual std::int64_t tick() const = 0;
  // Moves to the next quote; false (the quote unchanged) when a history has none left.
  virtual bool Next() = 0;
  // The account's buys less its sells, for a bar history walked in the worst order; else unread.
  virtual void SetNetLots(double) {}
  // Where the source stands as " name=value" fields after a tag, and back (false, unchanged, when
  // text holds none, or a history no longer reaches that far).
  virtual std::string Format() const = 0;
  virtual bool Parse(std::string_view text) = 0;
};

// The history's quotes when history.path is set, else the model's.
std::unique_ptr<PriceSource> MakePriceSource(const MarketStart& start,
                                             const PriceModelOptions& model,
                                             const PriceHistoryOptions& history);

}  // namespace zt::sim
