#include "run.h"

#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/base/interrupts.h"
#include "core/base/run_identity.h"
#include "core/base/timestamp.h"
#include "core/card/card.h"
#include "core/mqtt/client.h"
#include "core/mqtt/topics.h"
#include "core/records/default_database.h"
#include "core/records/history_output.h"
#include "core/records/run_message.h"
#include "core/records/store.h"
#include "core/runs/deliver.h"
#include "core/selftest/lock.h"
#include "core/selftest/report_file.h"

namespace cli {
namespace {

// What a test station keeps of a run; `faults` for one that ended.
records::RecordedRun recordOf(const SelftestSetup& setup, const selftest::Run& run,
                              std::chrono::system_clock::time_point ended,
                              const selftest::Trace& trace) {
    records::RecordedRun record;
    static_cast<selftest::Identity&>(record) = run;
    record.uuid = run.uuid;
    record.started = isoTimestamp(run.start, true);
    record.ended = isoTimestamp(ended, true);
    record.settleMs = static_cast<long>(setup.settle.count());
    record.channels = records::channelRanges(setup.channels);
    record.patterns = static_cast<long>(trace.patterns.size());
    record.trace = trace;
    return record;
}

// Kept where asked: why not, where it was asked and failed.
std::optional<RecordFailed> keep(const SelftestOutput& output, const records::RecordedRun& record) {
    if (!output.record)
        return std::nullopt;
    try {
        records::recordRun(records::databaseAt(output.db), record);
        return std::nullopt;
    } catch (const RecordFailed& e) {
        return e;
    }
}

// The test itself; a run cut short is kept too, as far as it went, and why
// it ended.
// A whole test whose lines then did not all go back to 0 returns its result,
// and the failure that names them in `notReset`.
selftest::Report testRecordingAbort(Card& card, const SelftestSetup& setup,
                                    const SelftestOutput& output, const selftest::Run& run,
                                    selftest::Trace& trace,
                                    std::optional<DriverCallFailed>& notReset) {
    try {
        return selftestOnCard(card, setup, trace);
    } catch (const TestedNotReset& e) {
        notReset = e;
        return e.report;
    } catch (Failure& e) {
        records::RecordedRun record = recordOf(setup, run, std::chrono::system_clock::now(), trace);
        record.status = dynamic_cast<const Interrupted*>(&e) ? records::RunStatus::Aborted
                                                             : records::RunStatus::Error;
        record.reason = e.told();
        const Shortfalls shortfalls = keepAndPublish(output, record);
        if (shortfalls.notRecorded)
            e.add(notRecordedText(*shortfalls.notRecorded));
        e.add(shortfalls.notPublished);
        throw;
    }
}

// The result; `reset` where every line went back to 0 after it (said in the text).
void showResult(const selftest::Report& result, const std::string& json, bool asJson, bool reset) {
    if (asJson) {
        say(json);
        return;
    }
    say(selftest::summaryText(result));
    for (const std::string& line : selftest::faultTexts(result))
        say("  " + line);
    say("共写 " + std::to_string(result.patterns) + " 个测试图样" +
        (reset ? "，各通道已复位为 0。" : "。"));
}

} // namespace

Shortfalls keepAndPublish(const SelftestOutput& output, const records::RecordedRun& record) {
    Shortfalls shortfalls;
    shortfalls.notRecorded = keep(output, record);
    shortfalls.notPublished = publishKept(output, record, output.record && !shortfalls.notRecorded);
    return shortfalls;
}

std::string notRecordedText(const RecordFailed& failure) {
    return "记录未写入：" + std::string(failure.what());
}

std::optional<PublishFailed> publishKept(const SelftestOutput& output,
                                         const records::RecordedRun& record, bool kept,
                                         const std::atomic<bool>* cancel) {
    if (!output.mqtt)
        return std::nullopt;
    try {
        if (kept) {
            // A station's own run: the rest of the file sent with it only
            // once it is no longer on its way.
            DeliverySetup delivery;
            delivery.broker = *output.mqtt;
            delivery.db = records::databaseAt(output.db);
            delivery.resendAfter = kResendAfter;
            delivery.cancel = cancel;
            deliverPending(delivery);
        } else {
            mqtt::Client publisher(*output.mqtt);
            publisher.cancelWith(cancel);
            publisher.publishAcknowledged(
                mqtt::topic(output.mqtt->prefix, record.station, "selftest"),
                records::runMessage(record), DeliverySetup().connect);
        }
    } catch (const PublishFailed& e) {
        return e;
    } catch (const RecordFailed& e) {
        // Sent, but not noted as sent or delivered: it is sent again later.
        return PublishFailed(std::string("发送情况未记下：") + e.what());
    }
    return std::nullopt;
}

std::unique_ptr<SelftestLock> holdCardFor(Card& card, const SelftestSetup& setup) {
    auto lock = std::make_unique<SelftestLock>(card.id());
    card.requireInputWords(setup.wiring.wordsFor(setup.channels), "所测的通道按接线表");
    return lock;
}

KeptRun testAndKeep(Card& card, const SelftestSetup& setup, const SelftestOutput& output) {
    KeptRun kept;
    selftest::Run& run = kept.run;
    static_cast<selftest::Identity&>(run) = output.who;
    run.uuid = newRunIdentity();
    run.start = std::chrono::system_clock::now();
    const auto began = std::chrono::steady_clock::now();
    selftest::Trace trace;
    kept.result = testRecordingAbort(card, setup, output, run, trace, kept.notReset);
    run.duration = std::chrono::steady_clock::now() - began;
    kept.record = recordOf(setup, run, std::chrono::system_clock::now(), trace);
    kept.record.status =
        kept.result.faults.empty() ? records::RunStatus::Pass : records::RunStatus::Fail;
    if (kept.notReset) { // its findings with the error that its lines were left driven
        kept.record.status = records::RunStatus::Error;
        kept.record.reason = kept.notReset->told();
    }
    kept.record.faults = kept.result.faults;
    static_cast<Shortfalls&>(kept) = keepAndPublish(output, kept.record);
    return kept;
}

ExitStatus runSelftest(Card& card, const SelftestSetup& setup, const SelftestOutput& output) {
    // Before any line is driven: the card to ourselves, and the report's folder.
    const std::unique_ptr<SelftestLock> lock = holdCardFor(card, setup);
    std::optional<ReportFile> report, junit;
    if (output.report)
        report.emplace(*output.report);
    if (output.junit)
        junit.emplace(*output.junit);
    catchInterrupts();
    const KeptRun kept = testAndKeep(card, setup, output);
    const selftest::Report& result = kept.result;
    const std::string json = selftest::reportJson(result);
    // The record and the publication first, then the files, then the standard
    // output: a file that cannot be written (a full disk) loses neither the
    // run nor its result on the terminal, and is said after them.
    std::optional<Failure> notWritten;
    commitIfAsked(report, json + "\n", notWritten);
    commitIfAsked(junit, selftest::junitXml(result, setup.channels, kept.run), notWritten);
    showResult(result, json, output.json, !kept.notReset);
    // Said after the result, which the terminal shows all the same; the
    // status is the first of them, the others said with it. A signal while
    // the broker was awaited ends it as a signal does.
    std::optional<Failure> failed;
    if (interrupted())
        failed = Interrupted(stopSignal());
    keepFirst(failed, kept.notReset);
    if (kept.notRecorded)
        keepFirst(failed,
                  failed ? *kept.notRecorded : RecordFailed(notRecordedText(*kept.notRecorded)));
    keepFirst(failed, kept.notPublished);
    keepFirst(failed, notWritten);
    if (failed)
        throw *failed;
    return result.faults.empty() ? ExitStatus::Ok : ExitStatus::FaultsFound;
}

} // namespace cli
