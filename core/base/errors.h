#pragma once
// How a command ends other than well: each failure carries its exit status
// (copied with it, whatever it is copied as), and main turns it into that
// status with its message.

#include "core/base/exit_status.h"

#include <optional>
#include <stdexcept>
#include <string>

namespace cli {

// A command that ended before its end, or a part of it that failed. What
// followed it (the lines it had driven set back to 0, or which were not; a
// record or a file that failed after it) is added to it, and said after the
// reason.
class Failure : public std::runtime_error {
public:
    Failure(int status, const std::string& reason) : std::runtime_error(reason), status_(status) {}
    int exitStatus() const { return status_; }

    // Something that followed, after what is known already.
    void add(const std::string& text) {
        if (!text.empty())
            followed_ += (followed_.empty() ? "" : "；") + text;
    }
    void add(const std::optional<Failure>& later) {
        if (later)
            add(later->told());
    }
    // The reason and, after it, what followed: as the failure is told.
    std::string told() const {
        return followed_.empty() ? std::string(what()) : what() + ("，" + followed_);
    }
    // Told already, in the command's own log: main only ends with its status.
    void setSaid() { said_ = true; }
    bool said() const { return said_; }

private:
    int status_;
    std::string followed_;
    bool said_ = false;
};

// Failures one after another: the first is kept, those after it added to it.
inline void keepFirst(std::optional<Failure>& first, const std::optional<Failure>& next) {
    if (first)
        first->add(next);
    else
        first = next;
}

// The kinds of failure, one a status.
template <ExitStatus kStatus> class FailureOf : public Failure {
public:
    explicit FailureOf(const std::string& reason) : Failure(code(kStatus), reason) {}
};

// A command line that cannot be carried out as written. Thrown before any
// output is driven (at the latest after reading the card's identity and shape),
// so that one bad argument sends nothing.
using UsageError = FailureOf<ExitStatus::Usage>;
// A driver call that answered with a negative result, the driver's way of
// saying it failed.
using DriverCallFailed = FailureOf<ExitStatus::DriverCall>;
// The self-test's record could not be kept, or the records read: the file is
// locked, read-only, corrupt, of a newer program.
using RecordFailed = FailureOf<ExitStatus::Records>;
// The result was kept but could not be published to the plant's broker.
using PublishFailed = FailureOf<ExitStatus::Publish>;
// The station's fixture is suspect: the same fault came back on unit after unit.
using FixtureHeld = FailureOf<ExitStatus::FixtureHeld>;
// A unit the station's records send to repair, not tested again.
using UnitToRepair = FailureOf<ExitStatus::FaultsFound>;

// The standard output or error, or a report file, could not be written; a
// reader that went away (SIGPIPE) ends it as that signal would have.
class OutputFailed : public Failure {
public:
    explicit OutputFailed(const std::string& reason);
};

// A signal asked to stop: Ctrl-C, a hang-up, a termination request, a reader
// of the output that has gone (exit status 128 + the signal's number); 0 for
// a stop the program asked itself (a window's cancel button).
class Interrupted : public Failure {
public:
    explicit Interrupted(int signal);
};

} // namespace cli
