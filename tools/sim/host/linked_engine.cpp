#include "host/linked_engine.h"

#include <stdexcept>

#include "boundary/test_hooks.h"
#include "host/memory_disk.h"
#include "zentravo.h"

namespace zt::sim {

// Each slot named beside the function it takes, in the table's order (the compiler holds the
// two to it): bound by name, as a loaded library's table is, so that two exports of the same type
// (GetLabel, GetValue) cannot trade places unseen.
tools::Exports BindLinkedExports() {
  return tools::Exports{.InitZT = &::InitZT,
                        .SetEquity = &::SetEquity,
                        .SetLastValues = &::SetLastValues,
                        .SetTTC = &::SetTTC,
                        .SetEmailProp = &::SetEmailProp,
                        .GetEquitySnap = &::GetEquitySnap,
                        .GetIndex = &::GetIndex,
                        .GetAlert = &::GetAlert,
                        .GetEmailSubject = &::GetEmailSubject,
                        .GetEmailText = &::GetEmailText,
                        .GetLabel = &::GetLabel,
                        .GetValue = &::GetValue,
                        .SetWindowTitles = &::SetWindowTitles};
}

void OpenLinkedEngine(const std::string& folder) {
  test_hooks::ResetGuard();
  memory::Clear();
  if (const std::string problem = memory::LoadFolder(folder); !problem.empty())
    throw std::runtime_error(problem);
  test_hooks::PlaceLibrary(folder + "/zentravo.so");
}

std::string CloseLinkedEngine(const std::string& folder) {
  test_hooks::UnloadLibrary();
  return memory::SaveFolder(folder);
}

}  // namespace zt::sim
