#pragma once
// A long-running command's log (dio-cli serve, collect): a line each, with
// its time, to a file or to the standard error. On the standard error it
// never holds up the command: lines wait in a bounded backlog while the
// reader stalls (a paused terminal, a pipe nobody reads), and past it are
// dropped, counted, and the count said once there is room.

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace cli {

class Log {
public:
    // To the file (appended; UsageError where it cannot be opened), or to the
    // standard error.
    explicit Log(const std::optional<std::string>& path = std::nullopt);
    // Throws OutputFailed where the file cannot be written.
    void say(const std::string& text);
    // What waits, as far as the standard error takes it now.
    void flush();
    // At the end: what waits, for a moment at most.
    void finish();

private:
    static constexpr std::size_t kBacklog = std::size_t{64} * 1024;
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    std::unique_ptr<std::FILE, Closer> file_;
    std::string path_;
    std::string backlog_;
    long dropped_ = 0;
};

} // namespace cli
