// The one export that only hosts without terminal windows have (Linux): the titles InitZT reads
// for a chart, named by the host instead of read from windows.
#include "platform/platform.h"
#include "zentravo.h"

extern "C" ZT_EXPORT void ZT_CALL SetWindowTitles(int chartHandle, const char* frameTitle,
                                                  const char* mainTitle) {
  zt::platform::NameWindowTitles(chartHandle, frameTitle, mainTitle);
}
