#include "host/linked_engine.h"

#include <stdexcept>

#include "boundary/test_hooks.h"
#include "host/memory_disk.h"
#include "zentravo.h"

namespace zt::sim {

// In the order of the table's slots.
tools::Exports LinkedExports() {
  return tools::Exports{&::InitZT,       &::SetEquity,       &::SetLastValues, &::SetTTC,
                        &::SetEmailProp, &::GetEquitySnap,   &::GetIndex,      &::GetAlert,
                        &::GetEmailSubject, &::GetEmailText, &::GetLabel,      &::GetValue,
                        &::SetWindowTitles};
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
