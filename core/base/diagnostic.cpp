#include "diagnostic.h"

#include "core/base/console.h"
#include "core/base/timestamp.h"

#include <chrono>

namespace cli {

std::string diagnosticLine(const std::string& text) {
    return isoTimestamp(std::chrono::system_clock::now(), false) + "  " + text + "\n";
}

void tell(const std::string& text) {
    write(Stream::Err, diagnosticLine(text));
}

} // namespace cli
