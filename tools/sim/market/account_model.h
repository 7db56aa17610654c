// A seeded model of a trading account for the simulator: a balance plus the floating result of
// the open trades, which moves as a random walk. Everything here is deterministic for a given
// seed on every machine: the generator and the normal transform are our own, so no result depends
// on how a standard library implements its distributions.
#pragma once

#include <cstdint>
#include <string>

namespace zt::sim {

// xoshiro256** seeded through splitmix64: small, fast and with a state that fits a text line, so
// a paused account can be written down and resumed exactly.
struct Prng {
  std::uint64_t state[4];
};

// Seeds all four words from seed through splitmix64 (never the all-zero state).
Prng SeedPrng(std::uint64_t seed);
// Next 64 random bits.
std::uint64_t NextBits(Prng& prng);
// Uniform in [0, 1), 53 bits of precision.
double NextUniform(Prng& prng);
// Standard normal deviate by the Box-Muller transform (one deviate per call; the second of the
// pair is dropped to keep the state a plain generator state).
double NextNormal(Prng& prng);

// What every seeded market of a run starts from, whichever model makes it (this walk of the open
// trades' result, or the prices a strategy trades on): the seed of its random numbers, the time of
// its first tick and between ticks, and the account's starting balance. One record, which
// --seed, --start, --tick-seconds and --balance fill once for every market.
struct MarketStart {
  std::uint64_t seed = 1;
  std::int64_t startTime = 1704153600;  // time of tick 0, seconds since 1970 (2024.01.02 00:00 UTC)
  std::int64_t tickSeconds = 30;        // time between ticks
  double balance = 10000.0;             // account currency
};

// The walk's own terms.
struct AccountModelOptions {
  double drift = 0.06;      // mean change of the floating result per tick
  double volatility = 6.0;  // standard deviation of that change per tick
  double margin = 300.0;    // margin the open trades hold while the account trades
  double closeCost = 0.0;   // spread and slippage paid on every close-all, >= 0
};

// The account as a broker holds it. Equity is balance + floating.
struct AccountModel {
  MarketStart start;
  AccountModelOptions options;
  Prng prng;
  double balance;
  double floating;    // result of the open trades, realised by CloseAll
  std::int64_t tick;  // ticks taken so far
};

struct AccountFigures {
  std::int64_t time;  // seconds since 1970, UTC
  double equity;
  double margin;
  double freeMargin;
};

struct CloseOutcome {
  double equityLeft;  // equity after every trade is closed
  int durationMs;     // how long the close-all took
};

// amount to the nearest whole cent: what a broker books into a balance. A guard stores its
// snapshot in cents, so a balance kept finer would resume a snapshot a fraction of a cent off the
// one it had in memory, and a restarted guard would decide and report by another amount.
double RoundToCents(double amount);

// The balance starts in whole cents.
AccountModel NewAccount(const MarketStart& start, const AccountModelOptions& options);
// The figures a terminal shows now.
AccountFigures CurrentFigures(const AccountModel& account);
// Moves the floating result one tick on and returns the new figures.
AccountFigures NextTick(AccountModel& account);
// Closes every trade: the floating result less the close cost goes into the balance (booked in
// whole cents, as brokers book a closed trade's result) and trading
// resumes from zero float. The duration comes from CloseDurationMs over numbers drawn for this
// seed and tick alone: closes never change the walk.
CloseOutcome CloseAll(AccountModel& account);

// How long a host takes to close every open trade: a few trades closed one by one, each a round
// trip to the trade server, some of them retried because the trade context was busy.
int CloseDurationMs(Prng& prng);
// The same for a close of a known number of trades.
int CloseDurationMs(Prng& prng, int trades);

// One-line text form of the account (balance, floating, tick, generator state and the options)
// and its inverse; used to keep the broker's side of a paused simulation in the state folder.
// ParseAccount returns false, leaving account alone, when the text is not such a line.
std::string FormatAccount(const AccountModel& account);
bool ParseAccount(const std::string& text, AccountModel& account);

}  // namespace zt::sim
