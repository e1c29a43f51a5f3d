#include "diagnostics.h"

namespace panel {

Q_LOGGING_CATEGORY(lcPanel, "dio.panel", QtWarningMsg)

} // namespace panel
