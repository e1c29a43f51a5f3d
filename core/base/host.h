#pragma once
// Who runs this, for what a test station records (platform code).

#include <string>

namespace cli {

// This machine's name and the user's, for what a test station records ("" where
// unknown).
std::string hostName();
std::string userName();

} // namespace cli
