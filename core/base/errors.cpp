#include "errors.h"

#include "core/base/interrupts.h"

#include <csignal>

namespace cli {

OutputFailed::OutputFailed(const std::string& reason)
    : Failure(interrupted() ? code(ExitStatus::Signal) + stopSignal() : code(ExitStatus::Output),
              reason) {}

// Ctrl-C, the usual case, as it has always been said; the others named.
Interrupted::Interrupted(int signal)
    : Failure(code(ExitStatus::Signal) + signal, signal == 0 ? "已取消"
                                                 : signal == SIGINT
                                                     ? "已中断"
                                                     : "已中断（" + signalName(signal) + "）") {}

} // namespace cli
