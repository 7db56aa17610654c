#include "boundary/terminal_identity.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

#include "core/guard_state.h"
#include "platform/platform.h"

namespace zt::boundary {
namespace {
constexpr int kMainTitleSize = 256;  // a terminal title of up to 255 characters
constexpr std::string_view kTitleSeparator = " -";  // between the server and the account kind
}  // namespace

int AccountNumberOf(const char* title) {
  const char* at = title;
  while (*at == ' ' || (*at >= '\t' && *at <= '\r')) ++at;
  bool negative = false;
  if (*at == '+' || *at == '-') negative = *at++ == '-';
  long long value = 0;
  const long long limit = negative ? -static_cast<long long>(INT_MIN) : INT_MAX;
  for (; *at >= '0' && *at <= '9'; ++at) {
    value = value * 10 + (*at - '0');
    if (value > limit) value = limit;
  }
  return static_cast<int>(negative ? -value : value);
}

void TerminalIdentity(int chartHandle) {
  core::GuardState& g = core::guard;
  const int frame = platform::ParentWindow(chartHandle);
  platform::WindowTitle(frame, g.symbol, core::kSymbolSize);
  if (char* comma = std::strchr(g.symbol, ',')) *comma = '\0';

  char title[kMainTitleSize];
  platform::WindowTitle(platform::RootAncestorWindow(frame), title, kMainTitleSize);
  g.accountNumber = AccountNumberOf(title);
  g.serverName[0] = '\0';
  const char* colon = std::strchr(title, ':');
  if (colon == nullptr) return;
  // The server ends where the title's own separator, " - ", begins; a hyphen inside the name
  // ("ICMarketsSC-Demo03") is part of it.
  const std::string_view server(colon + 1);
  const std::size_t length = std::min(server.find(kTitleSeparator), server.size());
  std::memcpy(g.serverName, server.data(), length);
  g.serverName[length] = '\0';
}

}  // namespace zt::boundary
