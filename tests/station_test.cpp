// The station's window on the simulated card, offscreen, driven by key events
// as a scanner and an operator send them: the verdict, the lines' cells and
// their accessible names, the list, the day's counts, the records read back
// by Python's sqlite3 (an independent reader), a cancel, a refused second
// scan; and the day's arithmetic apart from the window.
#include "core/card/card.h"
#include "core/mqtt/broker_url.h"
#include "core/records/store.h"
#include "core/selftest/lock.h"
#include "driver/dlldef.h"
#include "sim_card.h"
#include "station/line_grid.h"
#include "station/operator_prompt.h"
#include "station/selftest_job.h"
#include "station/station_day.h"
#include "station/station_window.h"
#include "station/verdict_view.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputDialog>
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
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
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
public: // for the rows' steps too
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
    // A day's count as the operator reads it: the value beside its row's
    // label, where that row is on the window.
    QString count(const QString& row) {
        auto* form = child<QGroupBox>("day")->findChild<QFormLayout*>("counts");
        for (int r = 0; form && r < form->rowCount(); ++r) {
            auto* label = qobject_cast<QLabel*>(form->itemAt(r, QFormLayout::LabelRole)->widget());
            auto* value = qobject_cast<QLabel*>(form->itemAt(r, QFormLayout::FieldRole)->widget());
            if (label && value && label->text() == row && value->isVisibleTo(&window()))
                return value->text();
        }
        return "(no row " + row + ")";
    }
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
    QModelIndex place(int channel) { return grid()->lines()->indexOf(channel); }
    // A line's cell as a screen reader reaches it: by its row and column on
    // the screen.
    QAccessibleInterface* cell(int channel) {
        const QModelIndex at = place(channel);
        return QAccessible::queryAccessibleInterface(grid())->tableInterface()->cellAt(at.row(),
                                                                                       at.column());
    }
    // The line the keyboard is on, as a screen reader hears it.
    QString focusedLine() {
        const QModelIndex at = grid()->currentIndex();
        if (!grid()->hasFocus() || !at.isValid())
            return QString("(none: %1 focus, %2)")
                .arg(grid()->hasFocus() ? "with" : "without",
                     at.isValid() ? "a current cell" : "no current cell");
        return QAccessible::queryAccessibleInterface(grid())
            ->tableInterface()
            ->cellAt(at.row(), at.column())
            ->text(QAccessible::Name);
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
            EXPECT_EQ(place(channel).data(Qt::BackgroundRole).value<QColor>(),
                      station::colourOf(finding, true))
                << channel;
            const QString name = cell(channel)->text(QAccessible::Name);
            EXPECT_TRUE(name.startsWith(QString("通道 %1：").arg(channel) +
                                        (finding ? u(cli::selftest::wordOf(*finding)) : "正常")))
                << name.toStdString();
        }
        EXPECT_EQ(child<QListWidget>("faults")->count(), unit.listed);
        EXPECT_EQ(count("已测："), unit.tested);
        EXPECT_EQ(count("复测："), unit.retests);
        EXPECT_EQ(count("一次合格率："), unit.yield);
        EXPECT_EQ(count("合格：").toInt() + count("不合格：").toInt(), count("已测：").toInt());
        EXPECT_EQ(child<QTableWidget>("lastTen")->item(0, 0)->text(), unit.serial);
        EXPECT_TRUE(serial()->text().isEmpty());
        EXPECT_EQ(window().focusWidget(), serial());
        // For a person to look at: DIO_SCREENSHOTS=folder (under Xvfb, say), at
        // the README's pictures' size.
        if (const QString shots = qEnvironmentVariable("DIO_SCREENSHOTS"); !shots.isEmpty()) {
            window().resize(1024, 800);
            window().grab().save(shots + "/" + unit.serial + ".png");
        }
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
    EXPECT_EQ(focusedLine(), "通道 2：正常"); // the second Down was off the grid
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
    int unit = 0;
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        // Each a unit of its own: one serial again at once is a double read.
        QTest::keyClicks(serial(), QString("SN-7%1").arg(++unit), Qt::NoModifier, way.keyDelay);
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
                         "SN-R 未发布："}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        shown.reset();
        settings.output.db = records();
        settings.output.mqtt.reset();
        row.change(settings, folder.path());
        QSignalSpy published(&window(), &station::StationWindow::publicationSaid);
        scan("SN-R");
        ASSERT_TRUE(verdictWithin(20000));
        EXPECT_EQ(verdict()->state(), State::Pass);
        if (settings.output.mqtt) {
            // The verdict did not wait for the broker (5 s to give it up),
            // nor does the next unit.
            EXPECT_EQ(published.count(), 0);
            scan("SN-S");
            ASSERT_TRUE(verdictWithin(20000));
            EXPECT_EQ(published.count(), 0);
            ASSERT_TRUE(published.wait(20000));
        }
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

// A scanner reads a label twice, or the next unit is scanned before the
// verdict: each unit's result is kept under its own serial, never two
// serials joined, and a double read is neither a unit nor a retest.
TEST_F(Station, KeepsEachUnitUnderItsOwnSerial) {
    struct Row {
        const char* name;
        int settleMs;
        std::function<void(Station&)> scans; // after the first unit's scan
        QStringList recorded;
        const char* said; // on the window at the end
    };
    auto progressedTo = [](Station& t, int patterns) {
        QSignalSpy progressed(&t.window().job(), &station::SelftestJob::progressed);
        while (progressed.count() < patterns && progressed.wait(5000)) {
        }
    };
    const Row rows[] = {
        {"read twice while it is tested",
         150,
         [](Station& t) {
             t.scan("SN-A");
             EXPECT_TRUE(t.serial()->text().isEmpty());
             EXPECT_TRUE(t.verdictWithin(20000));
             t.scan("SN-B");
             EXPECT_TRUE(t.verdictWithin(20000));
         },
         {"SN-A pass 0", "SN-B pass 0"},
         ""},
        {"read twice after a quick test",
         0,
         [](Station& t) {
             EXPECT_TRUE(t.verdictWithin(20000));
             t.scan("SN-A");
             EXPECT_FALSE(t.verdictWithin(500));
         },
         {"SN-A pass 0"},
         "SN-A 刚扫过"},
        {"the next unit early, then the one after it",
         150,
         [&](Station& t) {
             progressedTo(t, 1);
             t.scan("SN-B");
             EXPECT_TRUE(t.verdictWithin(20000));
             EXPECT_EQ(t.serial()->text(), "SN-B");
             EXPECT_TRUE(t.said("notice").contains("SN-B 在框里等着"));
             t.scan("SN-C"); // replaces what waits
             EXPECT_TRUE(t.verdictWithin(20000));
         },
         {"SN-A pass 0", "SN-C pass 0"},
         ""},
        {"a person typing the next meanwhile",
         300,
         [&](Station& t) {
             progressedTo(t, 1);
             QTest::keyClicks(t.serial(), "SN-P", Qt::NoModifier, 80);
             EXPECT_TRUE(t.verdictWithin(20000));
             QTest::keyClick(t.serial(), 'Q');
             EXPECT_EQ(t.serial()->text(), "SN-PQ") << "what a person types is theirs";
             t.serial()->clear();
         },
         {"SN-A pass 0"},
         ""},
        {"the unit again, late in its test",
         500,
         [&](Station& t) {
             progressedTo(t, 4); // 2 s, of 5 patterns: past a double read
             t.scan("SN-A");
             EXPECT_TRUE(t.verdictWithin(20000));
             EXPECT_TRUE(t.serial()->text().isEmpty());
         },
         {"SN-A pass 0"},
         "框里的 SN-A 是刚测的这件"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        shown.reset();
        QFile::remove(u(records()));
        settings.setup.settle = std::chrono::milliseconds(row.settleMs);
        scan("SN-A");
        row.scans(*this);
        EXPECT_EQ(recorded(), row.recorded);
        EXPECT_TRUE(said("notice").contains(row.said)) << said("notice").toStdString();
        EXPECT_EQ(count("复测："), "0");
    }
}

// The scan row, the buttons and the verdict on the screen without scrolling,
// the verdict's word at its least size, on the small screens stations have
// (960x540 is 1920x1080 at a scale of 2).
TEST_F(Station, FitsTheScreensOfStations) {
    struct Row {
        const char* name;
        std::string channels;
        QSize screen;
        QString waiting; // scanned while the test runs
    };
    std::string everyOther;
    for (int channel = 1; channel < 128; channel += 2)
        everyOther += (everyOther.empty() ? "" : ",") + std::to_string(channel);
    const Row rows[] = {
        {"1024x768, 128 lines", "1-128", {1024, 768}, ""},
        {"800x600, 16 lines", "1-16", {800, 600}, ""},
        {"960x540 logical, 16 lines", "1-16", {960, 540}, ""},
        {"1024x768, every other line (a long list)", everyOther, {1024, 768}, ""},
        {"800x600, a 2-D code's serial waiting", "1-16", {800, 600}, QString(111, 'Q')}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        shown.reset();
        settings.setup.channels = cli::parseChannels(row.channels);
        settings.setup.settle = std::chrono::milliseconds(row.waiting.isEmpty() ? 0 : 200);
        window().resize(row.screen);
        const QString longSerial = "SN-2026-1209-L3-07-00042";
        QSignalSpy progressed(&window().job(), &station::SelftestJob::progressed);
        scan(longSerial);
        if (!row.waiting.isEmpty()) {
            ASSERT_TRUE(progressed.wait(5000));
            scan(row.waiting);
        }
        ASSERT_TRUE(verdictWithin(20000));
        QApplication::processEvents();
        const auto* lastTen = child<QTableWidget>("lastTen");
        EXPECT_LT(lastTen->fontMetrics().horizontalAdvance(longSerial),
                  lastTen->horizontalHeader()->sectionSize(0))
            << "a serial shown whole in the last ten";
        EXPECT_LE(window().height(), row.screen.height());
        EXPECT_LE(window().width(), row.screen.width());
        for (QWidget* shown : {static_cast<QWidget*>(serial()), child("start"), child("cancel"),
                               static_cast<QWidget*>(verdict())}) {
            const QRect where(shown->mapTo(&window(), QPoint(0, 0)), shown->size());
            EXPECT_TRUE(QRect(QPoint(0, 0), row.screen).contains(where))
                << shown->objectName().toStdString();
        }
        QFont word = verdict()->font();
        word.setPointSizeF(VerdictView::kLeastPoints);
        word.setBold(true);
        EXPECT_GE(verdict()->height(),
                  QFontMetrics(word).height() +
                      QFontMetrics(VerdictView::largeFont(verdict()->font())).height());
        EXPECT_GE(verdict()->wordPoints(), VerdictView::kLeastPoints);
    }
}

// The next unit's scan reaches the serial box wherever the keyboard was:
// on the start button a click pressed, on the last ten.
TEST_F(Station, ScansReachTheSerialBoxWhereverTheKeyboardWas) {
    settings.setup.settle = std::chrono::milliseconds(200);
    window().activateWindow();
    (void)QTest::qWaitForWindowActive(&window());
    QTest::keyClicks(serial(), "SN-A", Qt::NoModifier, 80);
    QTest::mouseClick(child<QPushButton>("start"), Qt::LeftButton);
    ASSERT_TRUE(window().testing());
    scan("SN-B", Qt::Key_unknown);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(serial()->text(), "SN-B");
    EXPECT_TRUE(said("notice").contains("SN-B 留在框里")) << said("notice").toStdString();
    ASSERT_TRUE(verdictWithin(20000));
    serial()->clear();
    child<QTableWidget>("lastTen")->setFocus();
    for (const char c : std::string("SN-C"))
        QTest::keyClick(QApplication::focusWidget(), c);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(verdictWithin(20000));
    EXPECT_EQ(recorded(), QStringList({"SN-A pass 0", "SN-C pass 0"}));
}

// Tab goes through the window and comes round to the serial box, stepping
// out of the last-ten table; the cancel button after the start button while
// a test runs.
TEST_F(Station, TabComesRoundToTheSerialBox) {
    auto tabs = [&](int presses) {
        QStringList order;
        for (int i = 0; i < presses; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        return order;
    };
    settings.setup.settle = std::chrono::milliseconds(300); // the window takes it when made
    window().activateWindow();
    (void)QTest::qWaitForWindowActive(&window());
    serial()->setFocus();
    QStringList expected = {"start"};
    for (int cell = 0; cell < 16; ++cell)
        expected << "lines";
    expected << "faults"
             << "lastTen"
             << "serial";
    EXPECT_EQ(tabs(expected.size()), expected);
    QSignalSpy progressed(&window().job(), &station::SelftestJob::progressed);
    scan("SN-T");
    ASSERT_TRUE(progressed.count() > 0 || progressed.wait(5000));
    serial()->setFocus();
    EXPECT_EQ(tabs(2), QStringList({"start", "cancel"}));
    window().cancelTest();
    EXPECT_TRUE(verdictWithin(20000));
}

// The day ends at midnight, whether or not a unit comes: its counts start
// again, and the runs of other days in the last ten carry their date.
// The arrows go to the cell drawn beside or below, whatever channels are
// tested; Tab goes through the lines in their order and leaves at the ends.
TEST_F(Station, TheGridsKeysFollowTheCellsOnScreen) {
    settings.setup.channels = cli::parseChannels("1-5,9-13");
    window().activateWindow();
    (void)QTest::qWaitForWindowActive(&window());
    struct Row {
        const char* name;
        std::vector<Qt::Key> keys;
        const char* lands;
    };
    const Row rows[] = {
        {"down from 1 is 9, drawn below it", {Qt::Key_Down}, "通道 9：未测"},
        {"up from 9 is 1", {Qt::Key_Down, Qt::Key_Up}, "通道 1：未测"},
        {"right stops at 5, the last drawn",
         {Qt::Key_End, Qt::Key_Up, Qt::Key_Right},
         "通道 5：未测"},
        {"down from 5 is 13",
         {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down},
         "通道 13：未测"},
        {"down below the last row stays", {Qt::Key_Down, Qt::Key_Down}, "通道 9：未测"},
        {"Tab from 5 is 9, the next line", {Qt::Key_End, Qt::Key_Up, Qt::Key_Tab}, "通道 9：未测"},
        {"End and Home", {Qt::Key_End, Qt::Key_Home}, "通道 1：未测"},
    };
    for (const Row& row : rows) {
        serial()->setFocus();
        grid()->setFocus(Qt::TabFocusReason);
        for (Qt::Key key : row.keys)
            QTest::keyClick(grid(), key);
        EXPECT_EQ(focusedLine(), row.lands) << row.name;
        EXPECT_TRUE(grid()->hasFocus()) << row.name;
    }
    serial()->setFocus();
    grid()->setFocus(Qt::BacktabFocusReason);
    EXPECT_EQ(focusedLine(), "通道 13：未测") << "Shift-Tab comes in on the last line";
    QTest::keyClick(grid(), Qt::Key_Tab);
    EXPECT_FALSE(grid()->hasFocus()) << "Tab on the last line leaves the grid";
    EXPECT_EQ(place(6), QModelIndex()) << "an untested line has no cell";
}

// CIE L* of an sRGB colour (D65), computed here from the colour's definition.
double lightness(const QColor& colour) {
    auto linear = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    const double y = 0.2126 * linear(colour.redF()) + 0.7152 * linear(colour.greenF()) +
                     0.0722 * linear(colour.blueF());
    return y > 216.0 / 24389 ? 116 * std::cbrt(y) - 16 : 24389.0 / 27 * y;
}

TEST(LineColours, EachKindStandsApartFromSoundAndUntestedInLightness) {
    const QColor sound = station::colourOf({}, true), untested = station::colourOf({}, false);
    EXPECT_GE(std::abs(lightness(sound) - lightness(untested)), 15);
    std::vector<QColor> seen = {sound, untested};
    for (const auto& kind : cli::selftest::kFaultKindNames) {
        const QColor colour = station::colourOf(kind.value, true);
        const std::string name = kind.name;
        EXPECT_GE(std::abs(lightness(colour) - lightness(sound)), 15) << name << " against sound";
        EXPECT_GE(std::abs(lightness(colour) - lightness(untested)), 15)
            << name << " against untested";
        for (const QColor& other : seen)
            EXPECT_NE(colour, other) << name;
        seen.push_back(colour);
    }
}

TEST_F(Station, RollsTheDayAtMidnight) {
    scan("SN-D");
    ASSERT_TRUE(verdictWithin(20000));
    EXPECT_EQ(count("已测："), "1");
    const QDateTime now = QDateTime::currentDateTime();
    const qint64 shift =
        std::max<qint64>(0, now.msecsTo(QDateTime(now.date(), QTime(23, 59, 59, 600))));
    window().setClock([shift] { return QDateTime::currentDateTime().addMSecs(shift); });
    EXPECT_EQ(count("已测："), "1");
    EXPECT_TRUE(QTest::qWaitFor([&] { return count("已测：") == "0"; }, 5000));
    EXPECT_EQ(count("一次合格率："), "—");
    const QString time = child<QTableWidget>("lastTen")->item(0, 2)->text();
    EXPECT_TRUE(time.startsWith(now.date().toString("yyyy-MM-dd "))) << time.toStdString();
}

// A unit that failed weeks ago is a retest when it comes back, and the chart
// covers the last runs however old they are.
TEST_F(Station, RemembersPastTheWeek) {
    cli::records::RecordedRun old;
    static_cast<cli::selftest::Identity&>(old) = settings.output.who;
    old.serial = "SN-OLD";
    old.uuid = "0b8f2b56-3f2a-4c1e-9a41-7d1c0d8e2f10";
    old.started = old.ended = QDateTime::currentDateTimeUtc()
                                  .addDays(-40)
                                  .toString("yyyy-MM-ddTHH:mm:ss.zzzZ")
                                  .toStdString();
    old.channels = "1-16";
    old.status = cli::records::RunStatus::Fail;
    old.faults.push_back({FaultKind::Stuck0, {7}});
    cli::records::recordRun(records(), old);
    EXPECT_TRUE(child("chart")->accessibleDescription().contains("通道 7：1 次"))
        << child("chart")->accessibleDescription().toStdString();
    scan("SN-OLD");
    ASSERT_TRUE(verdictWithin(20000));
    EXPECT_EQ(said("retest"), "复测：SN-OLD 上次不合格");
    EXPECT_EQ(count("复测："), "1");
}

// The operator's name typed at the start: one with a control character is
// refused as --operator refuses it, and asked again.
TEST(OperatorPrompt, RefusesControlCharacters) {
    QStringList prompts;
    const QStringList typed = {"Wang\x1b[31m\nX", "  王工 "};
    int answered = 0;
    std::function<void()> answer = [&] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            QTimer::singleShot(20, answer);
            return;
        }
        prompts << dialog->labelText();
        dialog->setTextValue(typed[answered++]);
        dialog->accept();
        if (answered < typed.size())
            QTimer::singleShot(20, answer);
    };
    QTimer::singleShot(20, answer);
    EXPECT_EQ(station::askOperator("wang"), "王工");
    ASSERT_EQ(prompts.size(), 2);
    EXPECT_EQ(prompts[1], "“Wang\\x1b[31m\\x0aX”里有控制字符，请重新输入操作员：");
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
// unit's first run of the day decides its first pass, as the plant's
// station_days and history --stats --by station count it; the chart over the
// last N runs whatever their day, a channel once a run.
TEST(StationDay, CountsTheDayFromItsRecords) {
    const char* day = "2026-12-09T00:00:00.000Z";
    // Newest first, as the records give them: the day's units with their past.
    const std::vector<cli::records::RecordedRun> units = {
        run("C", "pass", "2026-12-09T10:00:00.000Z"),
        run("B", "aborted", "2026-12-09T09:30:00.000Z"),
        run("B", "fail", "2026-12-09T09:00:00.000Z", {7, 8}),
        run("A", "pass", "2026-12-09T08:00:00.000Z"),
        run("E", "pass", "2026-12-09T07:30:00.000Z"),
        run("E", "aborted", "2026-12-09T07:00:00.000Z"),
        run("C", "fail", "2026-12-08T17:00:00.000Z", {7}),
        run("A", "pass", "2026-11-30T16:00:00.000Z")};
    std::vector<cli::records::RecordedRun> recent = units;
    recent.push_back(run("D", "fail", "2026-10-01T16:00:00.000Z", {3}));
    const station::StationDay today = station::stationDay(units, recent, day, 4);
    EXPECT_EQ(today.counts.tested, 4);
    EXPECT_EQ(today.counts.passed, 3);
    EXPECT_EQ(today.counts.failed, 1);
    EXPECT_EQ(today.counts.retests, 1);     // C, failed yesterday
    EXPECT_EQ(today.counts.units, 4);       // A, B, C, E
    EXPECT_EQ(today.counts.firstPassed, 2); // A (passed before too), C; not B, nor E (cut short)
    EXPECT_EQ(today.lastTen.size(), recent.size());
    // The last four runs, whatever their end: C, B (cut short), B, A.
    EXPECT_EQ(today.chartedRuns, 4u);
    ASSERT_EQ(today.mostFailing.size(), 2u);
    EXPECT_EQ(today.mostFailing[0].channel, 7);
    EXPECT_EQ(today.mostFailing[0].runs, 1);
    EXPECT_EQ(today.mostFailing[1].channel, 8);
    EXPECT_EQ(station::stationDay(units, recent, day, 100).mostFailing.size(), 3u)
        << "a run two months old is among the last hundred";
    EXPECT_TRUE(station::isRetest(units, "B"));
    EXPECT_FALSE(station::isRetest(units, "C"));
    EXPECT_FALSE(station::isRetest(units, "F"));
}

// What a station keeps in its settings file, under what its command line says.
TEST(StationOptions, ReadsTheSettingsFileUnderTheCommandLine) {
    QTemporaryDir folder;
    const std::string file = (folder.path() + "/station.ini").toStdString();
    struct Row {
        const char* name;
        const char* settings;
        std::vector<std::string> given;
        const char *station, *operatorName; // station nullptr: refused
        long settleMs;
        const char* refusal = ""; // what the refusal says
        const char* part = "";
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
        {"no runs to chart", "", {"--chart-runs", "0"}, nullptr, nullptr, 0},
        {"a misspelt option",
         "station = L3-07\n# comment\nchanels = 1-64\n",
         {},
         nullptr,
         nullptr,
         0,
         "第 3 行：不认识的选项"},
        {"a misspelt option, no value", "setle\n", {}, nullptr, nullptr, 0, "第 1 行"},
        {"a section no option has",
         "[station]\nsettle = 5\n",
         {},
         nullptr,
         nullptr,
         0,
         "第 1 行：不认识的节"},
        {"a byte-order mark", "\xEF\xBB\xBFstation = L3-07\n", {}, "L3-07", nullptr, 10},
        {"a # in a value, quotes around one",
         "part = DIO-128 #B\noperator = \"wang #2\"\n",
         {},
         "",
         "wang #2",
         10,
         "",
         "DIO-128 #B"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::ofstream(file) << row.settings;
        std::vector<std::string> arguments = {"dio-station", "--config", file};
        arguments.insert(arguments.end(), row.given.begin(), row.given.end());
        if (!row.station) {
            try {
                station::parseStationArguments(arguments);
                ADD_FAILURE() << "taken";
            } catch (const cli::UsageError& e) {
                EXPECT_NE(std::string(e.what()).find(row.refusal), std::string::npos) << e.what();
            }
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
        if (*row.part) {
            EXPECT_EQ(settings.output.who.part, row.part);
        }
        EXPECT_TRUE(settings.output.record);
    }
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
