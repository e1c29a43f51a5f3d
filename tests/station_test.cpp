// The station's window on the simulated card, offscreen, driven by key events
// as a scanner and an operator send them: the verdict, the lines' cells and
// their accessible names, the list, the day's counts, the records read back
// by Python's sqlite3 (an independent reader), a cancel, a refused second
// scan; and the day's arithmetic apart from the window.
#include "cli/common/card.h"
#include "cli/mqtt/broker_url.h"
#include "cli/selftest/lock.h"
#include "driver/dlldef.h"
#include "sim_card.h"
#include "station/line_grid.h"
#include "station/selftest_job.h"
#include "station/station_day.h"
#include "station/station_window.h"
#include "station/verdict_view.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <fstream>

namespace {

using station::VerdictView;
using State = VerdictView::State;
using cli::selftest::FaultKind;

} // namespace

// As gtest shows them in a failure.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& texts, std::ostream* out) {
    *out << '[' << texts.join(" | ").toStdString() << ']';
}
QT_END_NAMESPACE

namespace {

QString u(const std::string& text) {
    return QString::fromStdString(text);
}

class Station : public testing::Test {
protected:
    Station() {
        settings.setup.channels = cli::parseChannels("1-16");
        settings.setup.settle = std::chrono::milliseconds(0);
        settings.output.who = {"", "DIO-128", "L3-07", "王工"};
        settings.output.record = true;
        settings.output.db = records();
        settings.operatorGiven = true;
    }
    std::string records() const { return (folder.path() + "/results.sqlite").toStdString(); }
    station::StationWindow& window() {
        if (!shown) {
            shown = std::make_unique<station::StationWindow>(card, settings);
            shown->show();
        }
        return *shown;
    }
    template <typename T = QWidget> T* child(const char* name) {
        return window().findChild<T*>(name);
    }
    QLineEdit* serial() { return child<QLineEdit>("serial"); }
    VerdictView* verdict() { return child<VerdictView>("verdict"); }
    QString said(const char* label) { return child<QLabel>(label)->text(); }
    // Typed as a scanner types, then `end` (Enter, a tab, or nothing).
    // (A character beyond ASCII, as an input method sends it: its text, no key.)
    void scan(const QString& text, Qt::Key end = Qt::Key_Return) {
        for (const QChar c : text)
            if (c.unicode() < 128)
                QTest::keyClick(serial(), c.toLatin1());
            else
                QTest::sendKeyEvent(QTest::Click, serial(), Qt::Key_unknown, QString(c),
                                    Qt::NoModifier);
        if (end != Qt::Key_unknown)
            QTest::keyClick(serial(), end);
    }
    bool verdictWithin(int ms) {
        QSignalSpy ended(&window(), &station::StationWindow::verdictShown);
        return ended.wait(ms);
    }
    station::LineGrid* grid() { return child<station::LineGrid>("lines"); }
    // A line's cell as a screen reader reaches it.
    QAccessibleInterface* cell(int channel) {
        return QAccessible::queryAccessibleInterface(grid())->child(channel - 1);
    }
    // The records' runs, "serial status faults" a line, as Python's sqlite3
    // (an independent reader) reads them; where there is no Python (under
    // Wine), as the store reads them back.
    QStringList recorded() {
        QString python = QStandardPaths::findExecutable("python3", {"/usr/bin"});
        if (python.isEmpty())
            python = QStandardPaths::findExecutable("python3");
        if (python.isEmpty())
            return recordedByTheStore();
        QProcess process;
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(python, {"-c",
                               "import sqlite3,sys\n"
                               "db=sqlite3.connect(sys.argv[1])\n"
                               "for s,st,n in db.execute('SELECT serial,status,(SELECT count(*) "
                               "FROM faults f WHERE f.run=r.id) FROM runs r ORDER BY id'):\n"
                               "    print(s,st,n)",
                               u(records())});
        process.waitForFinished(20000);
        return QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    }
    QStringList recordedByTheStore() {
        QStringList runs;
        if (!QFile::exists(u(records())))
            return runs;
        for (const auto& run : cli::records::history(records(), {}))
            runs.prepend(QString("%1 %2 %3")
                             .arg(u(run.serial), u(cli::records::nameOf(run.status)))
                             .arg(run.faults.size()));
        return runs;
    }

    OwnSimulatedCard sim;
    driver::DllDef dll{sim.search()};
    cli::Card card{dll};
    QTemporaryDir folder;
    station::StationSettings settings;
    std::unique_ptr<station::StationWindow> shown;
};

// A unit after another, as a shift goes: the verdict, each line's cell, the
// list, the counts; a unit failed and then passed again is a retest.
TEST_F(Station, TestsEachScannedUnitAndKeepsTheDay) {
    struct Unit {
        const char* name;
        const char* faults;
        QString scanned, serial;
        bool byButton; // the start button pressed (Space) rather than Enter
        State verdict;
        std::map<int, FaultKind> faulty;
        int listed;
        const char *tested, *retests, *yield;
    };
    const Unit units[] = {
        {"sound",
         "",
         "SN-0001",
         "SN-0001",
         false,
         State::Pass,
         {},
         0,
         "1",
         "0",
         "100.0%（1/1 件）"},
        {"full-width, two faults",
         "stuck0=3;short-and=9,10",
         u("ＳＮ－０００２"),
         "SN-0002",
         false,
         State::Fail,
         {{3, FaultKind::Stuck0}, {9, FaultKind::Short}, {10, FaultKind::Short}},
         2,
         "2",
         "0",
         "50.0%（1/2 件）"},
        {"crossed",
         "cross=5,6",
         "SN-0003",
         "SN-0003",
         true,
         State::Fail,
         {{5, FaultKind::Crossed}, {6, FaultKind::Crossed}},
         2,
         "3",
         "0",
         "33.3%（1/3 件）"},
        {"the failed unit again, mended",
         "",
         "SN-0002",
         "SN-0002",
         false,
         State::Pass,
         {},
         0,
         "4",
         "1",
         "33.3%（1/3 件）"},
    };
    for (const Unit& unit : units) {
        SCOPED_TRACE(unit.name);
        sim.faults(unit.faults);
        if (unit.byButton) {
            scan(unit.scanned, Qt::Key_unknown);
            child<QPushButton>("start")->setFocus();
            QTest::keyClick(child<QPushButton>("start"), Qt::Key_Space);
        } else {
            scan(unit.scanned);
        }
        ASSERT_TRUE(verdictWithin(20000));
        EXPECT_EQ(verdict()->state(), unit.verdict);
        EXPECT_GE(verdict()->wordPoints(), VerdictView::kLeastPoints);
        EXPECT_TRUE(verdict()->detail().startsWith("序列号 " + unit.serial + " · 用时 "))
            << verdict()->detail().toStdString();
        EXPECT_EQ(QAccessible::queryAccessibleInterface(verdict())->text(QAccessible::Name),
                  verdict()->word());
        for (int channel = 1; channel <= 16; ++channel) {
            const auto faulty = unit.faulty.find(channel);
            const station::Finding finding =
                faulty == unit.faulty.end() ? station::Finding() : faulty->second;
            EXPECT_EQ(grid()->colour(channel - 1), station::colourOf(finding, true)) << channel;
            const QString name = cell(channel)->text(QAccessible::Name);
            EXPECT_TRUE(name.startsWith(QString("通道 %1：").arg(channel) +
                                        (finding ? u(cli::selftest::wordOf(*finding)) : "正常")))
                << name.toStdString();
        }
        EXPECT_EQ(child<QListWidget>("faults")->count(), unit.listed);
        EXPECT_EQ(said("tested"), unit.tested);
        EXPECT_EQ(said("retests"), unit.retests);
        EXPECT_EQ(said("yield"), unit.yield);
        EXPECT_EQ(child<QTableWidget>("lastTen")->item(0, 0)->text(), unit.serial);
        EXPECT_TRUE(serial()->text().isEmpty());
        EXPECT_EQ(window().focusWidget(), serial());
        // For a person to look at: DIO_SCREENSHOTS=folder (under Xvfb, say).
        if (const QString shots = qEnvironmentVariable("DIO_SCREENSHOTS"); !shots.isEmpty())
            window().grab().save(shots + "/" + unit.serial + ".png");
    }
    EXPECT_EQ(said("retest"), "复测：SN-0002 上次不合格");
    EXPECT_TRUE(said("place").startsWith("测试台 L3-07 · 型号 DIO-128 · 操作员 王工 · 通道 1-16"));
    // By keyboard: Tab reaches the cells one by one, each named as it is reached.
    window().activateWindow();
    (void)QTest::qWaitForWindowActive(&window());
    grid()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(grid(), Qt::Key_Tab);
    QTest::keyClick(grid(), Qt::Key_Down);
    QTest::keyClick(grid(), Qt::Key_Down);
    QTest::keyClick(grid(), Qt::Key_Up);
    QAccessibleInterface* focused = QAccessible::queryAccessibleInterface(grid())->focusChild();
    ASSERT_TRUE(focused);
    EXPECT_EQ(focused->text(QAccessible::Name), "通道 2：正常"); // the second Down was off the grid
    EXPECT_TRUE(focused->state().focused);
    EXPECT_EQ(recorded(), QStringList({"SN-0001 pass 0", "SN-0002 fail 2", "SN-0003 fail 2",
                                       "SN-0002 pass 0"}));
    sim.faults("");
    EXPECT_EQ(card.readWords(2), std::vector<std::int16_t>(2, 0)) << "every line left at 0";
}

// Esc while the card is driven: the run stops, every line back at 0, kept
// as aborted; a second unit scanned meanwhile is refused and waits in the box.
TEST_F(Station, CancelStopsTheRunAndASecondScanWaits) {
    settings.setup.settle = std::chrono::milliseconds(300);
    scan("SN-A");
    QSignalSpy progressed(&window().job(), &station::SelftestJob::progressed);
    ASSERT_TRUE(progressed.wait(5000));
    scan("SN-B");
    EXPECT_TRUE(window().testing());
    EXPECT_TRUE(said("notice").contains("正在测试 SN-A")) << said("notice").toStdString();
    QTest::keyClick(serial(), Qt::Key_Escape);
    ASSERT_TRUE(verdictWithin(5000));
    EXPECT_EQ(verdict()->state(), State::Unfinished);
    EXPECT_TRUE(verdict()->detail().contains("已取消，各通道已复位为 0"))
        << verdict()->detail().toStdString();
    EXPECT_EQ(card.readWords(2), std::vector<std::int16_t>(2, 0));
    EXPECT_EQ(serial()->text(), "SN-B");
    EXPECT_EQ(recorded(), QStringList({"SN-A aborted 0"}));
}

// Scanners end a serial with Enter, a tab, or nothing after a quick burst; a
// person typing slowly starts nothing until Enter.
TEST_F(Station, TakesEachScannerAndWaitsForAPerson) {
    struct Way {
        const char* name;
        Qt::Key end;
        int keyDelay; // ms between keys
        bool starts;
    };
    const Way ways[] = {{"a tab", Qt::Key_Tab, -1, true},
                        {"a pause after a burst", Qt::Key_unknown, -1, true},
                        {"a person, no Enter", Qt::Key_unknown, 80, false}};
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        QTest::keyClicks(serial(), "SN-77", Qt::NoModifier, way.keyDelay);
        if (way.end != Qt::Key_unknown)
            QTest::keyClick(serial(), way.end);
        EXPECT_EQ(verdictWithin(2000), way.starts);
        serial()->clear();
    }
}

// A run whose record cannot be kept, or that no broker takes, still has its
// verdict; the window says what was not done.
TEST_F(Station, SaysWhatWasNotKept) {
    struct Row {
        const char* name;
        std::function<void(station::StationSettings&, const QString& folder)> change;
        const char* said;
    };
    const Row rows[] = {{"no folder for the records",
                         [](station::StationSettings& s, const QString& folder) {
                             s.output.db =
                                 (folder + "/no such folder/results.sqlite").toStdString();
                         },
                         "记录未写入："},
                        {"no broker",
                         [](station::StationSettings& s, const QString&) {
                             s.output.mqtt = cli::mqtt::parseBrokerUrl("mqtt://127.0.0.1:1/plant");
                         },
                         "未发布："}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        shown.reset();
        settings.output.db = records();
        settings.output.mqtt.reset();
        row.change(settings, folder.path());
        scan("SN-R");
        ASSERT_TRUE(verdictWithin(20000));
        EXPECT_EQ(verdict()->state(), State::Pass);
        EXPECT_TRUE(said("notice").startsWith(row.said)) << said("notice").toStdString();
    }
}

// Another program's self-test holds the card: refused before anything is driven.
TEST_F(Station, RefusesACardTestedElsewhere) {
    const cli::SelftestLock held(card.id());
    scan("SN-L");
    ASSERT_TRUE(verdictWithin(5000));
    EXPECT_EQ(verdict()->state(), State::Unfinished);
    EXPECT_FALSE(said("notice").isEmpty());
    EXPECT_EQ(recorded(), QStringList());
}

cli::records::RecordedRun run(const char* serial, const char* status, const char* started,
                              std::vector<int> faulty = {}) {
    cli::records::RecordedRun r;
    r.serial = serial;
    r.status = *convert::valueNamed(cli::records::kRunStatusNames, std::string(status));
    r.started = started;
    if (!faulty.empty())
        r.faults.push_back({FaultKind::Short, faulty});
    return r;
}

// The day from the records: runs before it count only to know a retest; a
// cut-short run is listed but counts for nothing; the chart over the last N
// runs with a verdict, a channel once a run.
TEST(StationDay, CountsTheDayFromItsRecords) {
    const char* day = "2026-12-09T00:00:00.000Z";
    // Newest first, as the records give them.
    const std::vector<cli::records::RecordedRun> runs = {
        run("C", "pass", "2026-12-09T10:00:00.000Z"),
        run("B", "aborted", "2026-12-09T09:30:00.000Z"),
        run("B", "fail", "2026-12-09T09:00:00.000Z", {7, 8}),
        run("A", "pass", "2026-12-09T08:00:00.000Z"),
        run("C", "fail", "2026-12-08T17:00:00.000Z", {7}),
        run("D", "fail", "2026-12-08T16:00:00.000Z", {3})};
    const station::StationDay today = station::stationDay(runs, day, 4);
    EXPECT_EQ(today.counts.tested, 3);
    EXPECT_EQ(today.counts.passed, 2);
    EXPECT_EQ(today.counts.failed, 1);
    EXPECT_EQ(today.counts.retests, 1);     // C, failed yesterday
    EXPECT_EQ(today.counts.units, 3);       // A, B, C
    EXPECT_EQ(today.counts.firstPassed, 1); // A only: C failed before
    EXPECT_EQ(today.lastTen.size(), runs.size());
    // The last four with a verdict: C, B, A, C; D is older.
    ASSERT_EQ(today.mostFailing.size(), 2u);
    EXPECT_EQ(today.mostFailing[0].channel, 7);
    EXPECT_EQ(today.mostFailing[0].runs, 2);
    EXPECT_EQ(today.mostFailing[1].channel, 8);
    EXPECT_TRUE(station::isRetest(runs, "B"));
    EXPECT_FALSE(station::isRetest(runs, "C"));
    EXPECT_FALSE(station::isRetest(runs, "E"));
}

// What a station keeps in its settings file, under what its command line says.
TEST(StationOptions, ReadsTheSettingsFileUnderTheCommandLine) {
    QTemporaryDir folder;
    const std::string file = (folder.path() + "/station.ini").toStdString();
    struct Row {
        const char* name;
        const char* settings;
        std::vector<std::string> given;
        const char *station, *operatorName; // nullptr: refused
        long settleMs;
    };
    const Row rows[] = {
        {"the file", "station = L3-07\npart = DIO-128\nsettle = 50\n", {}, "L3-07", nullptr, 50},
        {"the command line wins",
         "station = L3-07\n",
         {"--station", "L3-08"},
         "L3-08",
         nullptr,
         10},
        {"an operator given", "", {"--operator", "张三"}, "", "张三", 10},
        {"a bad value in the file", "settle = soon\n", {}, nullptr, nullptr, 0},
        {"a control character", "", {"--part", "A\nB"}, nullptr, nullptr, 0},
        {"no runs to chart", "", {"--chart-runs", "0"}, nullptr, nullptr, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::ofstream(file) << row.settings;
        std::vector<std::string> arguments = {"dio-station", "--config", file};
        arguments.insert(arguments.end(), row.given.begin(), row.given.end());
        if (!row.station) {
            EXPECT_THROW(station::parseStationArguments(arguments), cli::UsageError);
            continue;
        }
        const auto settings =
            std::get<station::StationSettings>(station::parseStationArguments(arguments));
        if (*row.station) {
            EXPECT_EQ(settings.output.who.station, row.station);
        }
        EXPECT_EQ(settings.operatorGiven, row.operatorName != nullptr);
        if (row.operatorName) {
            EXPECT_EQ(settings.output.who.operatorName, row.operatorName);
        }
        EXPECT_EQ(settings.setup.settle.count(), row.settleMs);
        EXPECT_TRUE(settings.output.record);
    }
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
