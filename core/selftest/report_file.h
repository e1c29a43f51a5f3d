#pragma once

#include "core/base/errors.h"

#include <cstdio>
#include <optional>
#include <string>

namespace cli {

// A report file that is either the whole new report or the file as it was:
// written beside it (created new, never through a name someone else made) and
// renamed over it once complete (over the file a symbolic link leads to, not
// the link). Made before the card is touched, so that a folder that cannot be
// written is a usage error; without a commit (the test ended early) the new
// file goes and the old one stays. What is not a plain file (/dev/stdout, a
// pipe) is written directly at the commit: renaming over it would replace it.
class ReportFile {
public:
    // Throws UsageError naming the file where it cannot be made (a file name
    // is needed: "" or "-" are refused where the command line is read).
    explicit ReportFile(const std::string& path);
    ~ReportFile();
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;

    // Writes the text and puts the file in place; throws OutputFailed naming
    // the file and the reason, leaving the old one.
    void commit(const std::string& text);

private:
    std::string path_, target_, part_;
    bool direct_ = false;
    std::FILE* file_ = nullptr;
};

// The file, where one was asked for, committed; its failure kept after any
// before it, so that one file that cannot be written keeps neither the other
// nor the result from being said.
void commitIfAsked(std::optional<ReportFile>& file, const std::string& text,
                   std::optional<Failure>& failed);

} // namespace cli
