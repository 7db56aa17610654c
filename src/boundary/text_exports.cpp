// The text exports: the host's buffers in, the texts' writers out. A null buffer receives
// nothing; every other check and every word lives in src/texts. Each first finishes a start whose
// settings file was held and retries the settings writes a locked file held back (at once when
// there is nothing to do), so the panel and the notice line are current.
#include "core/limits.h"
#include "engine/guard_start.h"
#include "settings/settings_store.h"
#include "texts/alerts.h"
#include "texts/dashboard.h"
#include "zentravo.h"

// ---- Alerts and e-mails ----------------------------------------------------------------------

extern "C" ZT_EXPORT void ZT_CALL GetAlert(int kind, char* text) {
  zt::engine::FinishStartIfHeld();
  zt::settings::CommitWrites();
  if (text == nullptr) return;
  zt::texts::WriteAlert(kind, text, zt::core::kTextCapacity);
}

extern "C" ZT_EXPORT void ZT_CALL GetEmailSubject(int kind, char* text) {
  zt::engine::FinishStartIfHeld();
  zt::settings::CommitWrites();
  if (text == nullptr) return;
  zt::texts::WriteEmailSubject(kind, text, zt::core::kTextCapacity);
}

extern "C" ZT_EXPORT void ZT_CALL GetEmailText(int part, int kind, double increaseTarget,
                                               char* text) {
  zt::engine::FinishStartIfHeld();
  zt::settings::CommitWrites();
  if (text == nullptr) return;
  zt::texts::WriteEmailLine(part, kind, increaseTarget, text, zt::core::kTextCapacity);
}

// ---- Dashboard -------------------------------------------------------------------------------

extern "C" ZT_EXPORT void ZT_CALL GetLabel(int row, int column, char* text) {
  zt::engine::FinishStartIfHeld();
  zt::settings::CommitWrites();
  if (text == nullptr) return;
  zt::texts::WriteLabel(row, column, text, zt::core::kTextCapacity);
}

extern "C" ZT_EXPORT void ZT_CALL GetValue(int row, int column, char* text) {
  zt::engine::FinishStartIfHeld();
  zt::settings::CommitWrites();
  if (text == nullptr) return;
  zt::texts::WriteValue(row, column, text, zt::core::kTextCapacity);
}
