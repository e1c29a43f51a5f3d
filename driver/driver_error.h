#pragma once

#include <stdexcept>
#include <string>

namespace driver {

// The runtime's errors for a driver that is not there: the library cannot be
// loaded (file not found) or lacks an entry point.
class DriverError : public std::runtime_error {
public:
    enum class Kind { LibraryNotFound, EntryPointNotFound };

    DriverError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

} // namespace driver
