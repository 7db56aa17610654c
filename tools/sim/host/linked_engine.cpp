#include "host/linked_engine.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include "boundary/test_hooks.h"
#include "host/memory_disk.h"
#include "zentravo.h"

namespace zt::sim {

namespace {

// An export of the linked-in engine under the name a loader finds it by, as dlsym hands it out.
struct LinkedExport {
  const char* name;
  void (*address)();
};

template <typename Function>
constexpr LinkedExport Linked(const char* name, Function* function) {
  return {name, reinterpret_cast<void (*)()>(function)};
}

// Each name beside its function, so that the table is bound by name as a loaded library's is:
// two exports of the same type (GetLabel, GetValue) cannot trade places unseen.
const LinkedExport kLinkedExports[] = {
    Linked("InitZT", &::InitZT),
    Linked("SetEquity", &::SetEquity),
    Linked("SetLastValues", &::SetLastValues),
    Linked("SetTTC", &::SetTTC),
    Linked("SetEmailProp", &::SetEmailProp),
    Linked("GetEquitySnap", &::GetEquitySnap),
    Linked("GetIndex", &::GetIndex),
    Linked("GetAlert", &::GetAlert),
    Linked("GetEmailSubject", &::GetEmailSubject),
    Linked("GetEmailText", &::GetEmailText),
    Linked("GetLabel", &::GetLabel),
    Linked("GetValue", &::GetValue),
    Linked("SetWindowTitles", &::SetWindowTitles),
};

}  // namespace

tools::Exports LinkedExports() {
  tools::Exports exports{};
  const char* missing = tools::BindExports(exports, [](const char* name) -> void (*)() {
    for (const LinkedExport& linked : kLinkedExports) {
      if (std::strcmp(linked.name, name) == 0) return linked.address;
    }
    return nullptr;
  });
  if (missing != nullptr) throw std::logic_error(std::string("the linked engine lists no ") + missing);
  return exports;
}

void OpenLinkedEngine(const std::string& folder) {
  test_hooks::ResetGuard();
  memory::Clear();
  if (const std::string problem = memory::LoadFolder(folder); !problem.empty()) throw std::runtime_error(problem);
  test_hooks::PlaceLibrary(folder + "/zentravo.so");
}

std::string CloseLinkedEngine(const std::string& folder) {
  test_hooks::UnloadLibrary();
  return memory::SaveFolder(folder);
}

}  // namespace zt::sim
