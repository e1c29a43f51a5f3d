#pragma once

#include "convert/named.h"
#include "core/card/wiring.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// Vcd: a Value Change Dump (IEEE 1364), one wire per channel, times in
// microseconds from the first poll, for waveform viewers.
enum class WatchFormat { Text, Csv, Jsonl, Vcd };
inline constexpr convert::Named<WatchFormat> kWatchFormatNames[] = {{WatchFormat::Text, "text"},
                                                                    {WatchFormat::Csv, "csv"},
                                                                    {WatchFormat::Jsonl, "jsonl"},
                                                                    {WatchFormat::Vcd, "vcd"}};

// What a watch prints, from the input words read poll by poll: the state of
// the watched channels first, then each change with its time, and at the end
// the changes counted per channel. It keeps one value and one count a channel,
// however long it runs.
class Watcher {
public:
    Watcher(std::vector<int> channels, const Wiring& wiring, WatchFormat format, bool utc);

    // The input words to read each poll.
    int words() const { return words_; }
    // The watch's start: a dump's time 0, whatever its first poll does (else
    // the first poll's time).
    void begin(std::chrono::system_clock::time_point start);
    // What to print for one poll's words (the first poll's: the initial state).
    std::string take(const std::vector<std::int16_t>& words,
                     std::chrono::system_clock::time_point now);
    std::string summary(std::chrono::system_clock::time_point now);
    // What to print for a time the inputs could not be read: what changed
    // meanwhile is not known, and is shown at the next poll as changes then.
    std::string gap(std::chrono::system_clock::time_point from,
                    std::chrono::system_clock::time_point to);
    long changes() const { return changes_; }
    // The changes the last take() found (none for the initial state).
    struct Change {
        int channel;
        bool value;
    };
    const std::vector<Change>& lastChanges() const { return lastChanges_; }

private:
    std::string takeVcd(const std::vector<bool>& read, std::chrono::system_clock::time_point now);
    std::string vcdTime(std::chrono::system_clock::time_point when);
    std::string vcdHeader() const;
    std::string vcdOpening(std::chrono::system_clock::time_point when);
    std::string line(const std::string& time, const char* event, int channel, long value) const;

    std::vector<int> channels_;
    std::vector<InputBit> inputs_;
    std::vector<std::string> names_; // the wires' names in a dump
    WatchFormat format_;
    bool utc_;
    int words_;
    bool started_ = false; // the first reading taken
    bool headed_ = false;  // the CSV's or the dump's header out (before a first gap, too)
    bool begun_ = false;
    std::vector<bool> values_;
    std::vector<long> counts_;
    long changes_ = 0;
    std::vector<Change> lastChanges_;
    std::chrono::system_clock::time_point start_; // of the dump's time 0
    long long lastVcdTime_ = 0;                   // the dump's times never go back
    bool unknown_ = false;                        // after a gap: every value dumped anew
};

} // namespace cli
