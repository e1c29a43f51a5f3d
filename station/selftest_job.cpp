#include "selftest_job.h"

#include "core/card/card.h"
#include "core/selftest/lock.h"
#include "driver/driver_error.h"

namespace station {

SelftestJob::SelftestJob(cli::Card& card, QObject* parent) : QObject(parent), card_(card) {}

SelftestJob::~SelftestJob() {
    cancel();
    wait();
    delete thread_.data(); // where its finished() was never taken
}

bool SelftestJob::start(const cli::SelftestSetup& setup, const cli::SelftestOutput& output) {
    if (running())
        return false;
    cancel_ = false;
    outcome_ = Outcome();
    thread_ = QThread::create([this, setup, output] { run(setup, output); });
    connect(thread_, &QThread::finished, this, [this] {
        thread_->deleteLater();
        thread_ = nullptr;
        emit finished();
    });
    thread_->start();
    return true;
}

void SelftestJob::wait() {
    if (thread_)
        thread_->wait();
}

// On the test's thread: the window's thread reads the outcome only once the
// thread has finished.
void SelftestJob::run(cli::SelftestSetup setup, const cli::SelftestOutput& output) {
    setup.cancel = &cancel_;
    setup.onPattern = [this](int driven, int expected) { emit progressed(driven, expected); };
    try {
        const std::unique_ptr<cli::SelftestLock> lock = cli::holdCardFor(card_, setup);
        outcome_.ran = true;
        outcome_.result = cli::testAndKeep(card_, setup, output);
    } catch (const cli::Failure& e) {
        outcome_.result = e;
    } catch (const driver::DriverError& e) {
        outcome_.result = cli::Failure(cli::code(cli::ExitStatus::DriverMissing), e.what());
    } catch (const std::exception& e) {
        outcome_.result = cli::Failure(cli::code(cli::ExitStatus::Unexpected),
                                       std::string("自检出错：") + e.what());
    }
    outcome_.ended = std::chrono::steady_clock::now();
}

} // namespace station
