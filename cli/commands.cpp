#include "commands.h"

#include "cli/arguments.h"
#include "cli/card.h"
#include "cli/console.h"
#include "cli/errors.h"
#include "cli/mqtt/change_feed.h"
#include "cli/mqtt/publisher.h"
#include "cli/mqtt/topics.h"
#include "cli/records/default_database.h"
#include "cli/records/history_output.h"
#include "cli/records/store.h"
#include "cli/report_file.h"
#include "cli/selftest/on_card.h"
#include "cli/selftest_lock.h"
#include "cli/timestamp.h"
#include "convert/format.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>

namespace cli {
namespace {

void say(const std::string& text) {
    write(Stream::Out, text + "\n");
}

// Four hexadecimal digits, as the word's 16-bit pattern.
std::string hexWord(std::int16_t word) {
    const std::string digits = convert::Hex(word);
    return std::string(4 - digits.size(), '0') + digits;
}

// Bits 7 down to 0: an input port's eight lines.
std::string bitRow(std::int16_t word) {
    std::string row;
    for (int bit = 7; bit >= 0; --bit)
        row += std::string(row.empty() ? "" : " ") + ((word >> bit & 1) ? "1" : "0");
    return row;
}

} // namespace

int showInfo(Card& card) {
    const std::string caption = card.boardCaption();
    say("驱动程序：" + card.driverPath());
    say("板卡信息：" + caption);
    return 0;
}

int showInputs(Card& card, int words, GetFormat format) {
    card.requireInputWords(words, "--words " + std::to_string(words) + "：");
    const std::vector<std::int16_t> read = card.readWords(words);
    if (format == GetFormat::Json) {
        nlohmann::ordered_json hex = nlohmann::ordered_json::array();
        std::vector<int> values;
        for (std::int16_t word : read) {
            hex.push_back(hexWord(word));
            values.push_back(static_cast<std::uint16_t>(word));
        }
        say(nlohmann::ordered_json{{"words", values}, {"hex", hex}}.dump());
        return 0;
    }
    if (format != GetFormat::Hex)
        // Over the bits: "字 0 ：" is seven columns wide, "0000  " six more.
        say(std::string(format == GetFormat::Bits ? 3 : 9, ' ') + "位：7 6 5 4 3 2 1 0");
    for (std::size_t i = 0; i < read.size(); ++i) {
        const std::string label = "字 " + std::to_string(i) + (i < 10 ? " " : "") + "：";
        if (format == GetFormat::Hex)
            say(label + hexWord(read[i]));
        else if (format == GetFormat::Bits)
            say(label + bitRow(read[i]));
        else
            say(label + hexWord(read[i]) + "  " + bitRow(read[i]));
    }
    return 0;
}

int setBits(Card& card, const std::vector<BitSetting>& settings) {
    for (const BitSetting& s : settings)
        card.writeBit(s.channel, s.value);
    return 0;
}

int setBytes(Card& card, const std::vector<ByteSetting>& settings) {
    for (const ByteSetting& s : settings)
        card.writeByte(s.group, s.byte);
    return 0;
}

namespace {

// The watch's polls: a driver that says why a call failed (a network link) is
// polled on through a failure, the time without readings reported as a gap;
// with the card's own driver a failure ends the watch.
class Polls {
public:
    Polls(Card& card, Watcher& watcher) : card_(card), watcher_(watcher) {}

    // One poll: what to print, or nothing while the inputs cannot be read.
    std::string poll() {
        const auto now = std::chrono::system_clock::now();
        std::vector<std::int16_t> words;
        try {
            words = card_.readWords(watcher_.words());
        } catch (const DriverCallFailed& e) {
            if (!card_.explainsFailures())
                throw;
            if (!lostSince_) {
                lostSince_ = now;
                lost_ = e.what();
                write(Stream::Err, isoTimestamp(now, false) + "  " + lost_ + "；继续尝试\n");
            }
            return "";
        }
        std::string printed;
        if (lostSince_) {
            write(Stream::Err, isoTimestamp(now, false) + "  又读到了输入\n");
            printed = watcher_.gap(*lostSince_, now);
            lostSince_.reset();
        }
        return printed + watcher_.take(words, now);
    }

    // At the end: a gap still open is reported, and ends the watch as failed.
    void finish() {
        if (!lostSince_)
            return;
        write(Stream::Out, watcher_.gap(*lostSince_, std::chrono::system_clock::now()));
        throw DriverCallFailed(lost_);
    }

private:
    Card& card_;
    Watcher& watcher_;
    std::optional<std::chrono::system_clock::time_point> lostSince_;
    std::string lost_;
};

} // namespace

int watch(Card& card, const WatchSetup& setup) {
    using Clock = std::chrono::steady_clock;
    Watcher watcher(setup.channels, setup.wiring, setup.format, setup.utc);
    card.requireInputWords(watcher.words(), "所监视的通道按接线表");
    catchInterrupts();
    // Connected (or given up on for now) before the watch's time starts.
    std::optional<mqtt::ChangeFeed> feed;
    if (setup.mqtt)
        feed.emplace(*setup.mqtt, setup.station);
    const auto start = Clock::now();
    const auto deadline = setup.duration ? start + *setup.duration : Clock::time_point::max();
    auto stop = [&] { return interrupted() || outputGone() || Clock::now() >= deadline; };
    watcher.begin(std::chrono::system_clock::now());
    Polls polls(card, watcher);
    try {
        for (auto next = start + setup.interval;; next += setup.interval) {
            write(Stream::Out, polls.poll());
            if (feed)
                feed->publish(watcher.lastChanges(), std::chrono::system_clock::now());
            if ((setup.count > 0 && watcher.changes() >= setup.count) || stop())
                break;
            // Polls keep their rhythm (a slow read delays only the next); the
            // wait ends at the deadline, and a reader that has gone is noticed
            // at the next poll.
            pause(std::chrono::duration_cast<std::chrono::milliseconds>(
                std::max(std::min(next, deadline), Clock::now()) - Clock::now()));
            if (stop())
                break;
        }
        polls.finish();
    } catch (DriverCallFailed& e) {
        // What was seen until then is not lost with the card.
        try {
            write(Stream::Out, watcher.summary(std::chrono::system_clock::now()));
        } catch (const OutputFailed& failed) {
            e.setAftermath(failed.what());
        }
        throw;
    }
    write(Stream::Out, watcher.summary(std::chrono::system_clock::now()));
    const std::string unpublished = feed ? feed->finish() : "";
    if (interrupted()) {
        Interrupted stopped(stopSignal());
        stopped.setAftermath(unpublished);
        throw stopped;
    }
    if (!unpublished.empty())
        throw PublishFailed(unpublished);
    return 0;
}

namespace {

// What a test station keeps of a run; `faults` for one that ended.
records::RecordedRun recordOf(const SelftestSetup& setup, const selftest::Run& run,
                              std::chrono::system_clock::time_point ended, long patterns) {
    records::RecordedRun record;
    record.serial = run.serial;
    record.part = run.part;
    record.station = run.station;
    record.operatorName = run.operatorName;
    record.started = isoTimestamp(run.start, true);
    record.ended = isoTimestamp(ended, true);
    record.settleMs = static_cast<long>(setup.settle.count());
    record.channels = records::channelRanges(setup.channels);
    record.patterns = patterns;
    return record;
}

// What could not be done with a run's record ("" where it was done, or not asked).
struct Kept {
    std::string notKept, notPublished;
};

// The run as the records hold it, to "<prefix>/<station>/selftest".
void publishRun(const mqtt::BrokerUrl& broker, const records::RecordedRun& record) {
    nlohmann::ordered_json run = records::runJson(record);
    run.erase("id"); // the local file's, of no use elsewhere
    mqtt::Publisher(broker).publishAcknowledged(
        mqtt::topic(broker.prefix, record.station, "selftest"),
        run.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace),
        std::chrono::seconds(5));
}

// Kept where asked, then published once kept (or refused by the records).
Kept keepAndPublish(const SelftestOutput& output, const records::RecordedRun& record) {
    Kept kept;
    if (output.record) {
        try {
            records::recordRun(records::databaseAt(output.db), record);
        } catch (const RecordFailed& e) {
            kept.notKept = e.what();
        }
    }
    if (output.mqtt) {
        try {
            publishRun(*output.mqtt, record);
        } catch (const PublishFailed& e) {
            kept.notPublished = e.what();
        }
    }
    return kept;
}

} // namespace

int runSelftest(Card& card, const SelftestSetup& setup, const SelftestOutput& output) {
    // Before any line is driven: the card to ourselves, and the report's folder.
    const SelftestLock lock(card.id());
    card.requireInputWords(setup.wiring.wordsFor(setup.channels), "所测的通道按接线表");
    std::optional<ReportFile> report, junit;
    if (output.report)
        report.emplace(*output.report);
    if (output.junit)
        junit.emplace(*output.junit);
    catchInterrupts();
    selftest::Run run = output.run;
    run.start = std::chrono::system_clock::now();
    const auto began = std::chrono::steady_clock::now();
    int patterns = 0;
    selftest::Report result;
    try {
        result = selftestOnCard(card, setup, patterns);
    } catch (Failure& e) {
        // A run cut short is kept too, as far as it went, and why it ended.
        records::RecordedRun record =
            recordOf(setup, run, std::chrono::system_clock::now(), patterns);
        record.status = dynamic_cast<const Interrupted*>(&e) ? records::RunStatus::Aborted
                                                             : records::RunStatus::Error;
        record.reason = e.told();
        const Kept kept = keepAndPublish(output, record);
        if (!kept.notKept.empty())
            e.addAftermath("记录未写入：" + kept.notKept);
        if (!kept.notPublished.empty())
            e.addAftermath(kept.notPublished);
        throw;
    }
    run.duration = std::chrono::steady_clock::now() - began;
    const std::string json = selftest::reportJson(result);
    // The record and the publication first, then the files, then the standard
    // output: a file that cannot be written (a full disk) loses neither the
    // run nor its result on the terminal, and is said after them.
    records::RecordedRun record =
        recordOf(setup, run, std::chrono::system_clock::now(), result.patterns);
    record.status = result.faults.empty() ? records::RunStatus::Pass : records::RunStatus::Fail;
    record.faults = result.faults;
    const Kept kept = keepAndPublish(output, record);
    std::optional<OutputFailed> notWritten;
    auto commit = [&](std::optional<ReportFile>& file, const std::string& text) {
        try {
            if (file)
                file->commit(text);
        } catch (const OutputFailed& e) {
            if (notWritten)
                notWritten->addAftermath(e.what());
            else
                notWritten = e;
        }
    };
    commit(report, json + "\n");
    commit(junit, selftest::junitXml(result, setup.channels, run));
    if (output.json) {
        say(json);
    } else {
        say(selftest::summaryText(result));
        for (const std::string& line : selftest::faultTexts(result))
            say("  " + line);
        say("共写 " + std::to_string(result.patterns) + " 个测试图样，各通道已复位为 0。");
    }
    // Said after the result, which the terminal shows all the same; the
    // status is the first of them, the others said with it. A signal while
    // the broker was awaited ends it as a signal does.
    const std::string files = notWritten ? notWritten->told() : "";
    if (interrupted()) {
        Interrupted stopped(stopSignal());
        for (const std::string& more : {kept.notKept, kept.notPublished, files})
            if (!more.empty())
                stopped.addAftermath(more);
        throw stopped;
    }
    if (!kept.notKept.empty()) {
        RecordFailed failed("结果未记入记录库：" + kept.notKept);
        for (const std::string& more : {kept.notPublished, files})
            if (!more.empty())
                failed.addAftermath(more);
        throw failed;
    }
    if (!kept.notPublished.empty()) {
        PublishFailed failed(kept.notPublished);
        if (!files.empty())
            failed.addAftermath(files);
        throw failed;
    }
    if (notWritten)
        throw *notWritten;
    return result.faults.empty() ? 0 : 1;
}

int showHistory(const records::HistoryFilter& filter, records::HistoryFormat format, bool stats,
                const std::optional<std::string>& db) {
    const std::string path = records::databaseAt(db);
    write(Stream::Out, stats ? records::statsOutput(records::faultCounts(path, filter), format)
                             : records::historyOutput(records::history(path, filter), format));
    return 0;
}

} // namespace cli
