#include "boundary/terminal_identity.h"

#include <climits>
#include <cstring>

#include "engine/guard_state.h"
#include "platform/platform.h"

namespace zt::boundary {
namespace {
constexpr int kMainTitleSize = 256;  // a terminal title of up to 255 characters
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
  engine::GuardState& g = engine::guard;
  const int frame = platform::ParentWindow(chartHandle);
  platform::WindowTitle(frame, g.symbol, engine::kSymbolSize);
  if (char* comma = std::strchr(g.symbol, ',')) *comma = '\0';

  char title[kMainTitleSize];
  platform::WindowTitle(platform::RootAncestorWindow(frame), title, kMainTitleSize);
  g.accountNumber = AccountNumberOf(title);
  g.serverName[0] = '\0';
  const char* colon = std::strchr(title, ':');
  if (colon == nullptr) return;
  const char* server = colon + 1;
  std::size_t length = std::strlen(server);
  if (const char* dash = std::strchr(server, '-')) {
    const std::size_t dashAt = static_cast<std::size_t>(dash - server);
    length = dashAt > 0 ? dashAt - 1 : 0;
  }
  std::memcpy(g.serverName, server, length);
  g.serverName[length] = '\0';
}

}  // namespace zt::boundary
