// The library's twelve exports as function pointers of exactly the public header's types, so a
// runner that loads zentravo.dll calls them stdcall on 32-bit Windows just as a terminal does.
#pragma once

#include <type_traits>

#include "zentravo.h"

namespace zt::callscript {

struct Exports {
  decltype(&::InitZT) initZT;
  decltype(&::SetEquity) setEquity;
  decltype(&::SetLastValues) setLastValues;
  decltype(&::SetTTC) setTTC;
  decltype(&::SetEmailProp) setEmailProp;
  decltype(&::GetEquitySnap) getEquitySnap;
  decltype(&::GetIndex) getIndex;
  decltype(&::GetAlert) getAlert;
  decltype(&::GetEmailSubject) getEmailSubject;
  decltype(&::GetEmailText) getEmailText;
  decltype(&::GetLabel) getLabel;
  decltype(&::GetValue) getValue;
};

// Looks every export up by its plain name with lookup (a callable taking the name and answering a
// function's address as `void (*)()`, or null). Returns the first name that was not found, or
// null when all twelve are bound.
template <typename Lookup>
const char* BindExports(Exports& exports, Lookup lookup) {
  const char* missing = nullptr;
  auto bind = [&](auto& slot, const char* name) {
    void (*const address)() = lookup(name);
    if (address == nullptr) {
      if (missing == nullptr) missing = name;
      return;
    }
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(address);
  };
  bind(exports.initZT, "InitZT");
  bind(exports.setEquity, "SetEquity");
  bind(exports.setLastValues, "SetLastValues");
  bind(exports.setTTC, "SetTTC");
  bind(exports.setEmailProp, "SetEmailProp");
  bind(exports.getEquitySnap, "GetEquitySnap");
  bind(exports.getIndex, "GetIndex");
  bind(exports.getAlert, "GetAlert");
  bind(exports.getEmailSubject, "GetEmailSubject");
  bind(exports.getEmailText, "GetEmailText");
  bind(exports.getLabel, "GetLabel");
  bind(exports.getValue, "GetValue");
  return missing;
}

}  // namespace zt::callscript
