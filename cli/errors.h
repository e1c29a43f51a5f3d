#pragma once
// How a command ends other than well; main turns each into its exit status.

#include <stdexcept>
#include <string>

namespace cli {

// A command line that cannot be carried out as written (exit status 2). Thrown
// before the first driver call, so that one bad argument sends nothing.
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A command that ended before its end. What it left behind (the lines it had
// driven: set back to 0, or which were not) is added where that is known, and
// said with the reason.
class Failure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    void setAftermath(std::string text) { aftermath_ = std::move(text); }
    // Something more it left behind, after what is known already.
    void addAftermath(const std::string& text) {
        aftermath_ += (aftermath_.empty() ? "" : "；") + text;
    }
    const std::string& aftermath() const { return aftermath_; }
    // The reason and, after it, what it left behind: as the failure is told.
    std::string told() const {
        return aftermath_.empty() ? std::string(what()) : what() + ("，" + aftermath_);
    }

private:
    std::string aftermath_;
};

// A signal asked to stop: Ctrl-C, a hang-up, a termination request, a reader
// of the output that has gone (exit status 128 + the signal's number).
class Interrupted : public Failure {
public:
    explicit Interrupted(int signal);
    int signal() const { return signal_; }

private:
    int signal_;
};

// The standard output or error, or a report file, could not be written
// (exit status 5).
class OutputFailed : public Failure {
public:
    using Failure::Failure;
};

// The self-test's record could not be kept, or the records read: the file is
// locked, read-only, corrupt, of a newer program (exit status 6).
class RecordFailed : public Failure {
public:
    using Failure::Failure;
};

// The result was kept but could not be published to the plant's broker
// (exit status 7).
class PublishFailed : public Failure {
public:
    using Failure::Failure;
};

} // namespace cli
