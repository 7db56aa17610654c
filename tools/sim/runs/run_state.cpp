#include "runs/run_state.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "number_text.h"
#include "system/output_files.h"
#include "system/paths.h"
#include "text_helpers.h"

namespace zt::sim {
namespace {

constexpr std::string_view kTag = "zt-sim-state-1";
// Identity entries are written "option=value" under this prefix, the rest by their own keys.
constexpr std::string_view kIdentityPrefix = "same ";

// A value on one line: line feeds and backslashes escaped.
std::string Escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\')
      out += "\\\\";
    else if (c == '\n')
      out += "\\n";
    else
      out += c;
  }
  return out;
}

std::string Unescaped(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      out += text[++i] == 'n' ? '\n' : text[i];
    } else {
      out += text[i];
    }
  }
  return out;
}

template <typename T>
bool Whole(std::string_view text, T& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

// "010": the e-mails of each kind the cycle in hand has sent.
bool EmailsSent(std::string_view text, bool (&sent)[3]) {
  if (text.size() != std::size(sent)) return false;
  for (std::size_t kind = 0; kind < text.size(); ++kind) {
    if (text[kind] != '0' && text[kind] != '1') return false;
    sent[kind] = text[kind] == '1';
  }
  return true;
}

// Four words separated by spaces: a generator's state.
bool GeneratorState(std::string_view text, std::optional<Prng>& prng) {
  Prng read{};
  for (int i = 0; i < 4; ++i) {
    const std::size_t end = i < 3 ? text.find(' ') : text.size();
    if (end == std::string_view::npos || !Whole(text.substr(0, end), read.state[i])) return false;
    text.remove_prefix(i < 3 ? end + 1 : end);
  }
  prng = read;
  return true;
}

}  // namespace

std::string FormatSimState(const SimState& state) {
  std::string out(kTag);
  out += "\nrunning=" + std::string(state.running ? "1" : "0") + "\n";
  for (const auto& [option, value] : state.identity) {
    out += std::string(kIdentityPrefix) + option + "=" + Escaped(value) + "\n";
  }
  if (!state.account.empty()) out += "account=" + state.account + "\n";
  if (!state.market.empty()) out += "market=" + state.market + "\n";
  out += "unguarded=" + tools::Significant(state.unguarded, 17) +
         "\ncsv-offset=" + tools::Significant(state.csvOffset, 17) +
         "\ncycle-drawdown=" + tools::Significant(state.host.cycleDrawdown, 17) + "\n";
  out += "increases-passed=" + std::to_string(state.host.increasesPassed) + "\nemails-sent=";
  for (const bool sent : state.host.emailSent) out += sent ? '1' : '0';
  out += "\n";
  if (state.closePrng) {
    out += "close-prng=";
    // Appended piece by piece: GCC 12 at -O3 warns of an overlap that cannot happen in
    // "literal" + a temporary string.
    for (int i = 0; i < 4; ++i) {
      if (i > 0) out += ' ';
      out += std::to_string(state.closePrng->state[i]);
    }
    out += "\n";
  }
  if (state.csvRow >= 0) {
    out += "csv-row=" + std::to_string(state.csvRow) +
           "\ncsv-line=" + std::to_string(state.csvLine) +
           "\ncsv-digest=" + std::to_string(state.csvDigest) + "\n";
  }
  return out;
}

std::optional<SimState> ParseSimState(std::string_view text) {
  SimState state;
  bool tagged = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!tagged) {
      if (line != kTag) return std::nullopt;
      tagged = true;
      continue;
    }
    if (line.substr(0, kIdentityPrefix.size()) == kIdentityPrefix) {
      const std::string_view entry = line.substr(kIdentityPrefix.size());
      const std::size_t equals = entry.find('=');
      if (equals == std::string_view::npos) return std::nullopt;
      state.identity.emplace_back(std::string(entry.substr(0, equals)),
                                  Unescaped(entry.substr(equals + 1)));
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    const std::string_view key = line.substr(0, equals), value = line.substr(equals + 1);
    bool ok = true;
    if (key == "running")
      state.running = value == "1";
    else if (key == "account")
      state.account = std::string(value);
    else if (key == "market")
      state.market = std::string(value);
    else if (key == "csv-row")
      ok = Whole(value, state.csvRow);
    else if (key == "csv-line")
      ok = Whole(value, state.csvLine);
    else if (key == "csv-digest")
      ok = Whole(value, state.csvDigest);
    else if (key == "unguarded")
      ok = Whole(value, state.unguarded);
    else if (key == "csv-offset")
      ok = Whole(value, state.csvOffset);
    else if (key == "cycle-drawdown")
      ok = Whole(value, state.host.cycleDrawdown);
    else if (key == "increases-passed")
      ok = Whole(value, state.host.increasesPassed);
    else if (key == "emails-sent")
      ok = EmailsSent(value, state.host.emailSent);
    else if (key == "close-prng")
      ok = GeneratorState(value, state.closePrng);
    if (!ok) return std::nullopt;
  }
  if (!tagged) return std::nullopt;
  return state;
}

std::string CompareIdentities(const RunIdentity& stored, const RunIdentity& now) {
  std::string out;
  const auto find = [](const RunIdentity& identity,
                       const std::string& option) -> const std::string* {
    for (const auto& [name, value] : identity) {
      if (name == option) return &value;
    }
    return nullptr;
  };
  const auto shown = [](const std::string* value) {
    return value == nullptr ? std::string("(none)") : "\"" + *value + "\"";
  };
  RunIdentity all = stored;
  for (const auto& entry : now) {
    if (find(stored, entry.first) == nullptr) all.push_back(entry);
  }
  for (const auto& [option, ignored] : all) {
    const std::string* there = find(stored, option);
    const std::string* here = find(now, option);
    if (there != nullptr && here != nullptr && *there == *here) continue;
    if (!out.empty()) out += "; ";
    out += option + " " + shown(there) + " there, " + shown(here) + " here";
  }
  return out;
}

std::string ReadStateFile(const std::string& path) {
  std::string text, reason;
  if (!tools::ReadWholeFile(system::PathOf(path), text, &reason))
    throw std::runtime_error("cannot read " + path + ": " + reason);
  return text;
}

void ReplaceFile(const std::string& path, const std::string& text) {
  system::WriteWholeFile(path, text);
}

}  // namespace zt::sim
