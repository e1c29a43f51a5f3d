#include "errors.h"

#include "cli/console.h"

#include <csignal>

namespace cli {

// Ctrl-C, the usual case, as it has always been said; the others named.
Interrupted::Interrupted(int signal)
    : Failure(signal == SIGINT ? "已中断" : "已中断（" + signalName(signal) + "）"),
      signal_(signal) {}

} // namespace cli
