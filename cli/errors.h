#pragma once
// How a command ends other than well; main turns each into its exit status.

#include <stdexcept>

namespace cli {

// A command line that cannot be carried out as written (exit status 2). Thrown
// before the first driver call, so that one bad argument sends nothing.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Ctrl-C during a command that must put the card back first (exit status 130).
class Interrupted : public std::runtime_error {
public:
    Interrupted() : std::runtime_error("已中断") {}
};

} // namespace cli
