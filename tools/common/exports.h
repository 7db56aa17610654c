// The library's exports as every host-side program sees them: one table of function pointers of
// exactly the public header's types, so that a host that loads zentravo.dll calls them stdcall on
// 32-bit Windows just as a terminal's expert advisor does. The simulator, both call-script
// runners and any other loader fill this one table; none keeps a list of the exports of its own.
#pragma once

#include <type_traits>

#include "zentravo.h"

namespace zt::tools {

struct Exports {
  decltype(&::InitZT) InitZT;
  decltype(&::SetEquity) SetEquity;
  decltype(&::SetLastValues) SetLastValues;
  decltype(&::SetTTC) SetTTC;
  decltype(&::SetEmailProp) SetEmailProp;
  decltype(&::GetEquitySnap) GetEquitySnap;
  decltype(&::GetIndex) GetIndex;
  decltype(&::GetAlert) GetAlert;
  decltype(&::GetEmailSubject) GetEmailSubject;
  decltype(&::GetEmailText) GetEmailText;
  decltype(&::GetLabel) GetLabel;
  decltype(&::GetValue) GetValue;
#if !defined(_WIN32)
  // Linux hosts name the window titles themselves: there are no terminal windows to read.
  decltype(&::SetWindowTitles) SetWindowTitles;
#endif
};

// Looks every export up by its plain name with lookup, a callable taking the name and answering
// the function's address as `void (*)()`, or null when there is none. Returns the first name that
// was not found (its slot is left as it was), or null when every export is bound.
template <typename Lookup>
const char* BindExports(Exports& exports, Lookup&& lookup) {
  const char* missing = nullptr;
  auto bind = [&](auto& slot, const char* name) {
    void (*const address)() = lookup(name);
    if (address == nullptr) {
      if (missing == nullptr) missing = name;
      return;
    }
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
  };
  bind(exports.InitZT, "InitZT");
  bind(exports.SetEquity, "SetEquity");
  bind(exports.SetLastValues, "SetLastValues");
  bind(exports.SetTTC, "SetTTC");
  bind(exports.SetEmailProp, "SetEmailProp");
  bind(exports.GetEquitySnap, "GetEquitySnap");
  bind(exports.GetIndex, "GetIndex");
  bind(exports.GetAlert, "GetAlert");
  bind(exports.GetEmailSubject, "GetEmailSubject");
  bind(exports.GetEmailText, "GetEmailText");
  bind(exports.GetLabel, "GetLabel");
  bind(exports.GetValue, "GetValue");
#if !defined(_WIN32)
  bind(exports.SetWindowTitles, "SetWindowTitles");
#endif
  return missing;
}

}  // namespace zt::tools
