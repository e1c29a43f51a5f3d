#include "publish_job.h"

namespace station {

PublishJob::PublishJob(cli::SelftestOutput output, QObject* parent)
    : QObject(parent), output_(std::move(output)) {}

PublishJob::~PublishJob() {
    finish();
}

void PublishJob::publish(const cli::records::RecordedRun& record, bool kept) {
    if (!output_.mqtt)
        return;
    // One delivery of the records sends every run waiting in them.
    if (kept && !waiting_.empty() && waiting_.back().kept)
        waiting_.back().record = record;
    else
        waiting_.push_back({record, kept});
    if (!running())
        next();
}

void PublishJob::next() {
    if (waiting_.empty() || cancel_)
        return;
    current_ = std::move(waiting_.front());
    waiting_.pop_front();
    // The thread reads current_ and writes failed_; the window's thread reads
    // them again only once it has finished.
    thread_ = QThread::create(
        [this] { failed_ = cli::publishKept(output_, current_.record, current_.kept, &cancel_); });
    connect(thread_, &QThread::finished, this, [this] {
        if (!thread_)
            return; // finish() waited for it and deleted it
        thread_->deleteLater();
        thread_ = nullptr;
        emit published(QString::fromStdString(current_.record.serial),
                       failed_ ? QString::fromStdString(failed_->told()) : QString());
        next();
    });
    thread_->start();
}

void PublishJob::finish() {
    cancel_ = true;
    waiting_.clear();
    if (thread_) {
        thread_->wait();
        delete thread_.data(); // its finished() is not waited for: nothing more is said
    }
}

} // namespace station
