#include "options/run_record.h"

namespace zt::sim {

std::string RunRecord::TextOf(std::string_view name) const {
  for (const RecordedOption& option : options) {
    if (option.name == name) return option.text;
  }
  return {};
}

RunIdentity IdentifyRun(const RunRecord& record) {
  RunIdentity identity;
  for (const RecordedOption& option : record.options) {
    if (option.identityKey.empty()) continue;
    auto entry = identity.begin();
    while (entry != identity.end() && entry->first != option.identityKey) ++entry;
    if (entry == identity.end()) {
      identity.emplace_back(option.identityKey, option.identityText);
    } else {
      entry->second += option.identityText;
    }
  }
  return identity;
}

std::vector<std::pair<std::string, std::string>> ListInputs(const RunRecord& record) {
  std::vector<std::pair<std::string, std::string>> inputs;
  for (const RecordedOption& option : record.options) inputs.emplace_back(option.name, option.text);
  return inputs;
}

}  // namespace zt::sim
