#include "host/linked_engine.h"

#include <stdexcept>

#include "boundary/test_hooks.h"
#include "host/memory_disk.h"
#include "system/chart_windows.h"
#include "zentravo.h"

namespace zt::sim {

// Each slot named beside the function it takes: bound by name, as a loaded library's table is, so
// that two exports of the same type (GetLabel, GetValue) cannot trade places unseen.
tools::Exports BindLinkedExports() {
  tools::Exports exports{};
  exports.InitZT = &::InitZT;
  exports.SetEquity = &::SetEquity;
  exports.SetLastValues = &::SetLastValues;
  exports.SetTTC = &::SetTTC;
  exports.SetEmailProp = &::SetEmailProp;
  exports.GetEquitySnap = &::GetEquitySnap;
  exports.GetIndex = &::GetIndex;
  exports.GetAlert = &::GetAlert;
  exports.GetEmailSubject = &::GetEmailSubject;
  exports.GetEmailText = &::GetEmailText;
  exports.GetLabel = &::GetLabel;
  exports.GetValue = &::GetValue;
  system::BindWindowTitles(exports);
  return exports;
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
