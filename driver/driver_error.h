#pragma once

#include <stdexcept>
#include <string>

namespace driver {

// The runtime's errors for a driver that is not there or not usable: no library
// found (file not found), a library found that will not load, or an entry point
// the library lacks.
class DriverError : public std::runtime_error {
public:
    enum class Kind { LibraryNotFound, LibraryNotLoadable, EntryPointNotFound };

    DriverError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

} // namespace driver
