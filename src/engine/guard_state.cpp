#include "engine/guard_state.h"

#include "engine/time_text.h"

namespace zt::engine {

GuardState guard{};

void ResetGuardState() {
  guard = GuardState{};
  ForgetCachedTimes();
}

}  // namespace zt::engine
