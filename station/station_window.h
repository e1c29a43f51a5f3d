#pragma once
// The station's window for its operator: a serial scanned in, the cable
// tested off the window's thread, the verdict large, what failed as a
// picture and in words, and the station's day.

#include "station/scan_burst.h"
#include "station/station_day.h"
#include "station/station_options.h"

#include <QDateTime>
#include <QTimer>
#include <QWidget>

#include <functional>

class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QVBoxLayout;

namespace cli {
class Card;
}

namespace station {

class FaultChart;
class LineGrid;
class PublishJob;
class SelftestJob;
class VerdictView;

class StationWindow : public QWidget {
    Q_OBJECT
public:
    StationWindow(cli::Card& card, StationSettings settings, QWidget* parent = nullptr);
    ~StationWindow() override;

    // A face with both Chinese and Latin letters, so that no text needs a
    // second face found for it: the application's before the window is
    // made, as each face found (and each change of a widget's font) slows the
    // window's start.
    static QFont stationFont();

    // A repeat of the serial just started within this of its scan is the
    // scanner reading the label twice: neither a unit nor a retest.
    static constexpr std::chrono::seconds kDoubleRead{2};

    // The serial in the box, tested; refused (and said) while a test runs.
    void startTest();
    void cancelTest();
    bool testing() const;
    // Before the process ends (the close button, a signal, the display
    // lost): a running test stopped with its lines at 0 and kept, a
    // publication under way given up (its runs stay pending).
    void finishWork();
    SelftestJob& job() { return *job_; }
    // The clock the day is counted by (the system's local time by default).
    void setClock(std::function<QDateTime()> now);

signals:
    void verdictShown();                  // a run's end on the window
    void publicationSaid(bool published); // a run's publication done, and said where it failed

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    QHBoxLayout* buildScanRow();
    void buildStatus(QVBoxLayout* layout);
    void buildFindings(QGridLayout* belowLayout);
    QGroupBox* buildDay(QWidget* below);
    void connectControls();
    void showOutcome();
    // What waits in the serial box: the next scan takes its place.
    void holdWaiting();
    void refreshDay();
    void showDay(const StationDay& today);
    void rollDayAtMidnight();
    void notice(const QString& text);
    void addNotice(const QString& text);

    StationSettings settings_;
    SelftestJob* job_;
    PublishJob* publisher_;
    std::string testedSerial_;
    ScanBurst::Clock::time_point startedAt_{}; // the scan that started it
    bool waiting_ = false;                     // the box holds a serial the next scan replaces
    ScanBurst burst_;
    QTimer scanPause_;
    QTimer midnight_;
    std::function<QDateTime()> now_ = [] { return QDateTime::currentDateTime(); };

    QLineEdit* serial_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QLabel* retest_ = nullptr;
    QProgressBar* progress_ = nullptr;
    VerdictView* verdict_ = nullptr;
    QLabel* notice_ = nullptr;
    LineGrid* lines_ = nullptr;
    QListWidget* faults_ = nullptr;
    QLabel *tested_ = nullptr, *passed_ = nullptr, *failed_ = nullptr, *retests_ = nullptr,
           *yield_ = nullptr;
    QTableWidget* lastTen_ = nullptr;
    FaultChart* chart_ = nullptr;
};

} // namespace station
