// The guard's exports as a host sees them, filled from a shared library that a host loads from
// its own folder, and the host's way of reading the library's texts.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "exports.h"
#include "host_text.h"

namespace zt::sim {

namespace system {
class SharedLibrary;
}

// The table every host-side program fills (tools/common/exports.h), SetWindowTitles included.
using tools::Exports;

// The guard a run drives. A shared library is loaded as a terminal loads it: copied into the
// host's folder and opened from there, so the settings and statistics files it keeps beside
// itself land in that folder. Without a library, the engine linked into this program is started
// as if it lay in that folder, its files held in memory and written there at the end.
// Unloads (or writes the files) on destruction. Not copyable: the exports live as long as the
// object.
class LoadedGuard {
 public:
  // Copies library into folder (created when missing; an older copy there is replaced), opens
  // the copy and resolves every export; library "" starts the linked-in engine. Throws
  // std::runtime_error naming the library and the first export missing, or the loader's message.
  LoadedGuard(const std::string& library, const std::string& folder);
  ~LoadedGuard();
  LoadedGuard(const LoadedGuard&) = delete;
  LoadedGuard& operator=(const LoadedGuard&) = delete;

  const Exports& api() const { return api_; }
  const std::string& path() const { return path_; }  // the copy that was opened, "" linked in

 private:
  std::string folder_;
  std::unique_ptr<system::SharedLibrary> library_;
  Exports api_{};
  std::string path_;
};

// Offers the library a host's text buffer (ZT_TEXT_CAPACITY bytes of fill, guard bytes past
// them), lets write fill it and hands it back. A library that writes past the capacity is broken
// beyond what a host can work around: throws std::runtime_error.
template <typename Write>
tools::HostText OfferBuffer(char fill, Write write) {
  tools::HostText buffer(fill);
  write(buffer.data());
  if (!buffer.GuardIntact()) {
    throw std::runtime_error("the library wrote past the " +
                             std::to_string(tools::HostText::kCapacity) +
                             " bytes of a text buffer");
  }
  return buffer;
}

// Reads one text of the library from a cleared buffer: what it holds, empty when the library
// wrote nothing.
template <typename Write>
std::string ReadText(Write write) {
  return std::string(OfferBuffer('\0', write).Text());
}

}  // namespace zt::sim
