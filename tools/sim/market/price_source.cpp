#include "market/price_source.h"

#include "market/state_text.h"

namespace zt::sim {
namespace {

constexpr std::string_view kHistoryTag = "zt-sim-history-1";

class ModelSource final : public PriceSource {
 public:
  ModelSource(const MarketStart& start, const PriceModelOptions& options)
      : model_(NewPriceModel(start, options)) {}
  const Quote& quote() const override { return model_.quote; }
  std::int64_t tick() const override { return model_.tick; }
  bool Next() override {
    NextQuote(model_);
    return true;
  }
  std::string Format() const override { return FormatPriceState(model_); }
  bool Parse(std::string_view text) override { return ParsePriceState(text, model_); }

 private:
  PriceModel model_;
};

// A history holds no state but how far it was read: a resumed run reads the file again up to that
// quote (a stream cannot jump to a line without reading the ones before it).
class HistorySource final : public PriceSource {
 public:
  explicit HistorySource(const PriceHistoryOptions& options) : options_(options), reader_(options) {
    if (!reader_.Next(quote_)) throw std::runtime_error(options.path + " holds no prices");
  }
  const Quote& quote() const override { return quote_; }
  std::int64_t tick() const override { return tick_; }
  bool Next() override {
    Quote next{};
    if (!reader_.Next(next)) return false;
    quote_ = next;
    ++tick_;
    return true;
  }
  void SetNetLots(double netLots) override { reader_.SetNetLots(netLots); }
  std::string Format() const override {
    std::string out(kHistoryTag);
    PutField(out, "tick", tick_);
    return out;
  }
  bool Parse(std::string_view text) override {
    const std::size_t at = text.find(kHistoryTag);
    std::int64_t tick = 0;
    if (at == std::string_view::npos || !TakeField(text.substr(at), "tick", tick) || tick < 0)
      return false;
    HistorySource again(options_);
    while (again.tick_ < tick) {
      if (!again.Next()) return false;
    }
    reader_ = std::move(again.reader_);
    quote_ = again.quote_;
    tick_ = again.tick_;
    return true;
  }

 private:
  PriceHistoryOptions options_;
  PriceHistoryReader reader_;
  Quote quote_{};
  std::int64_t tick_ = 0;
};

}  // namespace

std::unique_ptr<PriceSource> MakePriceSource(const MarketStart& start,
                                             const PriceModelOptions& model,
                                             const PriceHistoryOptions& history) {
  if (history.path.empty()) return std::make_unique<ModelSource>(start, model);
  return std::make_unique<HistorySource>(history);
}

}  // namespace zt::sim
