#pragma once
// The station's window for its operator: a serial scanned in, the cable
// tested off the window's thread, the verdict large, what failed as a
// picture and in words, and the station's day.

#include "station/scan_burst.h"
#include "station/station_day.h"
#include "station/station_options.h"

#include <QTimer>
#include <QWidget>

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

    // The serial in the box, tested; refused (and said) while a test runs.
    void startTest();
    void cancelTest();
    bool testing() const;
    SelftestJob& job() { return *job_; }

signals:
    void verdictShown(); // a run's end on the window

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
    void refreshDay();
    void notice(const QString& text);

    StationSettings settings_;
    SelftestJob* job_;
    std::vector<cli::records::RecordedRun> runs_; // this station's, newest first
    std::string testedSerial_;
    ScanBurst burst_;
    QTimer scanPause_;

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
