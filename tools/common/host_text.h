// A writer's buffer with guard bytes past its capacity, so that a writer that runs over shows up as
// changed guard bytes instead of as a smashed stack. HostText is the one a host hands the
// library's text exports (GetAlert, GetEmailSubject, GetEmailText, GetLabel, GetValue): a terminal
// gives them ZT_TEXT_CAPACITY bytes. Every byte starts as a fill chosen by the caller, so a call
// that wrote nothing can be told from one that wrote the empty text (pick a fill other than NUL);
// or as a pattern that differs from byte to byte, so that a byte changed after the terminator
// shows too. The simulator, the call-script interpreter, the benchmarks and the library's tests
// all hand out their buffers through it.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "zentravo.h"

namespace zt::tools {

template <std::size_t Capacity>
class GuardedBuffer {
 public:
  static constexpr std::size_t kCapacity = Capacity;
  static constexpr std::size_t kGuardBytes = 64;
  // The fill "abc...zabc...", byte by byte.
  struct Patterned {};

  explicit GuardedBuffer(char fill) : fill_(fill) { Refill(); }
  explicit GuardedBuffer(Patterned) : patterned_(true) { Refill(); }

  // Every byte, the guard bytes too, back to the fill: ready for the next call.
  void Refill() {
    for (std::size_t i = 0; i < bytes_.size(); ++i) bytes_[i] = Fill(i);
  }

  char* data() { return bytes_.data(); }
  const char* data() const { return bytes_.data(); }
  // The capacity and the guard bytes after it.
  const std::array<char, Capacity + kGuardBytes>& bytes() const { return bytes_; }

  // Not one byte of the capacity changed: the call wrote nothing.
  bool Untouched() const { return UnchangedIn(0, kCapacity); }
  // Nothing changed past the capacity: the writer stayed inside the host's buffer.
  bool GuardIntact() const { return UnchangedIn(kCapacity, bytes_.size()); }
  // Nothing changed from byte first on, the guard bytes included.
  bool UntouchedFrom(std::size_t first) const { return UnchangedIn(first, bytes_.size()); }
  // A NUL within the capacity ends the text.
  bool Terminated() const { return std::memchr(bytes_.data(), '\0', kCapacity) != nullptr; }

  // The text before the first NUL within the capacity. Without one, the first kCapacity - 1
  // bytes: what a C host reads after forcing the buffer's last byte to NUL.
  std::string_view Text() const {
    const void* terminator = std::memchr(bytes_.data(), '\0', kCapacity);
    const std::size_t length =
        terminator == nullptr
            ? kCapacity - 1
            : static_cast<std::size_t>(static_cast<const char*>(terminator) - bytes_.data());
    return {bytes_.data(), length};
  }

 private:
  char Fill(std::size_t i) const { return patterned_ ? static_cast<char>('a' + i % 26) : fill_; }

  bool UnchangedIn(std::size_t first, std::size_t end) const {
    for (std::size_t i = first; i < end; ++i) {
      if (bytes_[i] != Fill(i)) return false;
    }
    return true;
  }

  // 16-aligned like a plain char array of this size on the stack, so that a measured writer
  // sees the same alignment as it did with the hosts' old local buffers.
  alignas(16) std::array<char, Capacity + kGuardBytes> bytes_;
  char fill_ = '\0';
  bool patterned_ = false;
};

// The buffer a host hands the library's text exports.
using HostText = GuardedBuffer<ZT_TEXT_CAPACITY>;

}  // namespace zt::tools
