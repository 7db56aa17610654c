// A host's text buffer for the library's text exports (GetAlert, GetEmailSubject, GetEmailText,
// GetLabel, GetValue). A terminal hands them a buffer of ZT_TEXT_CAPACITY bytes; this one has
// guard bytes past that capacity, so a writer that runs over shows up as changed guard bytes
// instead of as a smashed stack. Every byte starts as a fill chosen by the caller, so a call that
// wrote nothing can be told from one that wrote the empty text (pick a fill other than NUL).
// The simulator, the call-script interpreter and the benchmarks all read texts through it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "zentravo.h"

namespace zt::tools {

class HostText {
 public:
  static constexpr std::size_t kCapacity = ZT_TEXT_CAPACITY;
  static constexpr std::size_t kGuardBytes = 64;

  explicit HostText(char fill) : fill_(fill) { Refill(); }

  // Every byte, the guard bytes too, back to the fill: ready for the next call.
  void Refill() { bytes_.fill(fill_); }

  char* data() { return bytes_.data(); }
  const char* data() const { return bytes_.data(); }

  // Not one byte of the capacity changed: the call wrote nothing.
  bool Untouched() const { return UnchangedIn(0, kCapacity); }
  // Nothing changed past the capacity: the writer stayed inside the host's buffer.
  bool GuardIntact() const { return UnchangedIn(kCapacity, bytes_.size()); }
  // A NUL within the capacity ends the text.
  bool Terminated() const { return std::memchr(bytes_.data(), '\0', kCapacity) != nullptr; }

  // The text before the first NUL within the capacity. Without one, the first kCapacity - 1
  // bytes: what a C host reads after forcing the buffer's last byte to NUL.
  std::string_view Text() const {
    const void* terminator = std::memchr(bytes_.data(), '\0', kCapacity);
    const std::size_t length =
        terminator == nullptr ? kCapacity - 1
                              : static_cast<std::size_t>(static_cast<const char*>(terminator) -
                                                         bytes_.data());
    return {bytes_.data(), length};
  }

 private:
  bool UnchangedIn(std::size_t first, std::size_t end) const {
    return std::all_of(bytes_.begin() + first, bytes_.begin() + end,
                       [this](char c) { return c == fill_; });
  }

  // 16-aligned like a plain char array of this size on the stack, so that a measured writer
  // sees the same alignment as it did with the hosts' old local buffers.
  alignas(16) std::array<char, kCapacity + kGuardBytes> bytes_;
  char fill_;
};

}  // namespace zt::tools
