#include "core/guard_state.h"

namespace zt::core {

GuardState guard{};

}  // namespace zt::core
