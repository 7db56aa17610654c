#include "market/account_model.h"

#include <cmath>
#include <numbers>
#include <string_view>

#include "market/state_text.h"

namespace zt::sim {
namespace {

std::uint64_t SplitMix64(std::uint64_t& x) {
  x += 0x9E3779B97F4A7C15ULL;
  std::uint64_t z = x;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

std::uint64_t RotateLeft(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

// A close-all closes the open trades one by one; each takes a round trip to the trade server.
constexpr int kFewestTrades = 2;
constexpr int kTradeSpread = 4;          // 2..5 trades open at a close
constexpr int kRoundTripMs = 60;         // fastest close of one trade
constexpr int kRoundTripSpreadMs = 200;  // slowest is 260 ms
constexpr double kBusyChance = 0.15;     // the trade context is busy, the host waits and retries
constexpr int kBusyWaitMs = 500;

constexpr std::string_view kAccountTag = "zt-sim-account-1";

// "s0" .. "s3": the names of the generator's four state words.
std::string StateWordName(int i) {
  std::string name(1, 's');
  name += std::to_string(i);
  return name;
}

}  // namespace

Prng SeedPrng(std::uint64_t seed) {
  Prng prng{};
  std::uint64_t x = seed;
  for (std::uint64_t& word : prng.state) word = SplitMix64(x);
  return prng;
}

std::uint64_t NextBits(Prng& prng) {
  std::uint64_t* s = prng.state;
  const std::uint64_t result = RotateLeft(s[1] * 5, 7) * 9;
  const std::uint64_t t = s[1] << 17;
  s[2] ^= s[0];
  s[3] ^= s[1];
  s[1] ^= s[2];
  s[0] ^= s[3];
  s[2] ^= t;
  s[3] = RotateLeft(s[3], 45);
  return result;
}

double NextUniform(Prng& prng) { return static_cast<double>(NextBits(prng) >> 11) * 0x1.0p-53; }

double NextNormal(Prng& prng) {
  // 1 - u lies in (0, 1], so the logarithm is finite.
  const double u1 = 1.0 - NextUniform(prng);
  const double u2 = NextUniform(prng);
  return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

double RoundToCents(double amount) { return std::round(amount * 100.0) / 100.0; }

AccountModel NewAccount(const MarketStart& start, const AccountModelOptions& options) {
  return AccountModel{start, options, SeedPrng(start.seed), RoundToCents(start.balance), 0.0, 0};
}

AccountFigures CurrentFigures(const AccountModel& account) {
  const double equity = account.balance + account.floating;
  const double margin = account.options.margin;
  return AccountFigures{account.start.startTime + account.tick * account.start.tickSeconds, equity,
                        margin, equity - margin};
}

AccountFigures NextTick(AccountModel& account) {
  account.floating += account.options.drift + account.options.volatility * NextNormal(account.prng);
  ++account.tick;
  return CurrentFigures(account);
}

int CloseDurationMs(Prng& prng) {
  return CloseDurationMs(prng, kFewestTrades + static_cast<int>(NextBits(prng) % kTradeSpread));
}

int CloseDurationMs(Prng& prng, int trades) {
  int durationMs = 0;
  for (int trade = 0; trade < trades; ++trade) {
    if (NextUniform(prng) < kBusyChance) durationMs += kBusyWaitMs;
    durationMs += kRoundTripMs + static_cast<int>(NextUniform(prng) * kRoundTripSpreadMs);
  }
  return durationMs;
}

CloseOutcome CloseAll(AccountModel& account) {
  // The duration comes from numbers of its own, fixed by the seed and the tick, never from the
  // walk's: the market then moves the same whatever the guard does, so ladders run on one seed
  // meet the same market and compare fairly (and a resume needs no second generator state).
  constexpr std::uint64_t kCloseStream = 0xD1B54A32D192ED03ULL;
  Prng closing = SeedPrng(account.start.seed ^ kCloseStream ^
                          (static_cast<std::uint64_t>(account.tick) * 0x9E3779B97F4A7C15ULL));
  const int durationMs = CloseDurationMs(closing);
  account.balance = RoundToCents(account.balance + account.floating - account.options.closeCost);
  account.floating = 0.0;
  return CloseOutcome{account.balance, durationMs};
}

std::string FormatAccount(const AccountModel& account) {
  std::string out(kAccountTag);
  PutField(out, "balance", account.balance);
  PutField(out, "floating", account.floating);
  PutField(out, "tick", account.tick);
  for (int i = 0; i < 4; ++i) PutField(out, StateWordName(i), account.prng.state[i]);
  const AccountModelOptions& o = account.options;
  PutField(out, "drift", o.drift);
  PutField(out, "volatility", o.volatility);
  PutField(out, "margin", o.margin);
  PutField(out, "closeCost", o.closeCost);
  PutField(out, "startTime", account.start.startTime);
  PutField(out, "tickSeconds", account.start.tickSeconds);
  PutField(out, "seed", account.start.seed);
  return out;
}

bool ParseAccount(const std::string& text, AccountModel& account) {
  const std::string_view view(text);
  if (view.substr(0, kAccountTag.size()) != kAccountTag) return false;
  AccountModel read{};
  bool ok = TakeField(view, "balance", read.balance) &&
            TakeField(view, "floating", read.floating) && TakeField(view, "tick", read.tick);
  for (int i = 0; i < 4; ++i) ok = ok && TakeField(view, StateWordName(i), read.prng.state[i]);
  AccountModelOptions& o = read.options;
  ok = ok && TakeField(view, "drift", o.drift) && TakeField(view, "volatility", o.volatility) &&
       TakeField(view, "margin", o.margin) && TakeField(view, "closeCost", o.closeCost) &&
       TakeField(view, "startTime", read.start.startTime) &&
       TakeField(view, "tickSeconds", read.start.tickSeconds) &&
       TakeField(view, "seed", read.start.seed);
  if (!ok) return false;
  account = read;
  return true;
}

}  // namespace zt::sim
