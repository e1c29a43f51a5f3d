#pragma once
// One self-test at a time, off the window's thread, so that the window
// answers while the card is driven: progress as it goes, a cancel that
// stops it with the lines back at 0, and its outcome once it has ended.

#include "core/runs/run.h"

#include <QObject>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <chrono>
#include <optional>
#include <variant>

namespace cli {
class Card;
}

namespace station {

struct Outcome {
    // A run that ended with a verdict, or the failure that ended it (a cancel
    // is an Interrupted), as dio-cli would have ended with it.
    std::variant<cli::KeptRun, cli::Failure> result;
    bool ran = false; // the card was held and the test begun (a run was made, kept or not)
    std::chrono::steady_clock::time_point ended; // when the test thread was done with it
};

class SelftestJob : public QObject {
    Q_OBJECT
public:
    explicit SelftestJob(cli::Card& card, QObject* parent = nullptr);
    ~SelftestJob() override; // stops a running test and waits for it

    // False where one is running already.
    bool start(const cli::SelftestSetup& setup, const cli::SelftestOutput& output);
    bool running() const { return thread_ != nullptr; }
    void cancel() { cancel_ = true; }
    // Blocks until a running test has ended (the window closing).
    void wait();
    const Outcome& outcome() const { return outcome_; }

signals:
    void progressed(int driven, int expected);
    void finished(); // outcome() holds it

private:
    void run(cli::SelftestSetup setup, const cli::SelftestOutput& output);

    cli::Card& card_;
    std::atomic<bool> cancel_{false};
    QPointer<QThread> thread_;
    Outcome outcome_;
};

} // namespace station
