#pragma once
// What a long-running command says as it goes, one line each on the standard
// error: the local time, two spaces, the text.

#include <string>

namespace cli {

// The line as it is written, for a log that keeps it elsewhere.
std::string diagnosticLine(const std::string& text);
// Written to the standard error; throws OutputFailed where it cannot be.
void tell(const std::string& text);

} // namespace cli
