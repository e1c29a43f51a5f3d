#pragma once
// The station's runs published to the plant's broker off the window's thread,
// after their verdicts are on the window: a broker that is away costs the
// operator a line on the window, not a wait. One publication at a time; what
// comes meanwhile waits its turn, and runs kept in the records go together
// (each publication sends every run the plant has not confirmed).

#include "core/runs/run.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>
#include <deque>
#include <optional>

namespace station {

class PublishJob : public QObject {
    Q_OBJECT
public:
    explicit PublishJob(cli::SelftestOutput output, QObject* parent = nullptr);
    ~PublishJob() override; // gives up its waits and waits for its thread

    // A run that ended, as kept (in the records where `kept`); nothing where
    // no broker was asked for.
    void publish(const cli::records::RecordedRun& record, bool kept);
    bool running() const { return thread_ != nullptr; }
    // The broker's waits given up (what the plant has not confirmed stays
    // pending in the records), then the thread waited for.
    void finish();

signals:
    // A publication done; `problem` empty where the broker took it.
    void published(const QString& serial, const QString& problem);

private:
    struct Entry {
        cli::records::RecordedRun record;
        bool kept = false;
    };
    void next();

    const cli::SelftestOutput output_;
    std::deque<Entry> waiting_;
    Entry current_; // the thread's while it runs
    std::optional<cli::PublishFailed> failed_;
    std::atomic<bool> cancel_{false};
    QPointer<QThread> thread_;
};

} // namespace station
