#include "station_window.h"

#include "convert/full_width.h"
#include "convert/named.h"
#include "convert/printable.h"
#include "core/records/default_database.h"
#include "core/records/store.h"
#include "station/fault_chart.h"
#include "station/line_grid.h"
#include "station/line_legend.h"
#include "station/publish_job.h"
#include "station/selftest_job.h"
#include "station/verdict_view.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShortcut>
#include <QTableWidget>
#include <QVBoxLayout>

namespace station {
namespace {

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

// What the window says where the records file cannot be read.
QString unreadable(const cli::Failure& e) {
    return QStringLiteral("记录读不出：%1").arg(text(e.told()));
}

// The records' times (UTC, ISO 8601) as the records write them.
std::string recordsTime(const QDateTime& local) {
    return local.toUTC().toString(Qt::ISODateWithMs).toStdString();
}

// A label that warns: bold, in its colour, on its background where given (a
// palette rather than a style sheet, which would slow the window's start).
void warning(QLabel* label, const QColor& ink, const QColor& background) {
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, ink);
    if (background.isValid()) {
        palette.setColor(QPalette::Window, background);
        label->setAutoFillBackground(true);
    }
    label->setPalette(palette);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
}

// A line above the scrolled part that never widens the window (a long
// serial, a channel list, a part's name): wrapped where it has room, cut at
// the window's edge where one word is wider.
void fitted(QLabel* label) {
    label->setWordWrap(true);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
}

QLabel* valueLabel(const char* name, QWidget* parent) {
    auto* label = new QLabel(QStringLiteral("0"), parent);
    label->setObjectName(name);
    return label;
}

// The window's first size: as designed where the screen it opens on has
// room, else the screen's.
QSize firstSize(const QWidget* window) {
    const QSize designed(1024, 800);
    const QScreen* screen = window->screen() ? window->screen() : QApplication::primaryScreen();
    return screen ? designed.boundedTo(screen->availableGeometry().size()) : designed;
}

} // namespace

StationWindow::StationWindow(cli::Card& card, StationSettings settings, QWidget* parent)
    : QWidget(parent), settings_(std::move(settings)), job_(new SelftestJob(card, this)),
      publisher_(new PublishJob(settings_.output, this)) {
    setObjectName("station");
    setWindowTitle(QStringLiteral("测试台"));
    setFont(stationFont());
    build();
    connect(job_, &SelftestJob::progressed, this, [this](int driven, int expected) {
        progress_->setMaximum(expected);
        progress_->setValue(std::min(driven, expected));
        progress_->setFormat(
            driven > expected
                ? QStringLiteral("%v 个图样，另加 %1 个针对性图样").arg(driven - expected)
                : QStringLiteral("%v 个图样"));
    });
    connect(job_, &SelftestJob::finished, this, &StationWindow::showOutcome);
    connect(publisher_, &PublishJob::published, this,
            [this](const QString& serial, const QString& problem) {
                if (!problem.isEmpty())
                    addNotice(QStringLiteral("%1 未发布：%2").arg(serial, problem));
                emit publicationSaid(problem.isEmpty());
            });
    scanPause_.setSingleShot(true);
    scanPause_.setInterval(ScanBurst::kPause);
    connect(&scanPause_, &QTimer::timeout, this, [this] {
        if (burst_.scanned())
            startTest();
    });
    midnight_.setSingleShot(true);
    midnight_.setTimerType(Qt::CoarseTimer);
    connect(&midnight_, &QTimer::timeout, this, &StationWindow::refreshDay);
    refreshDay();
}

StationWindow::~StationWindow() = default;

QFont StationWindow::stationFont() {
    QFont face = QApplication::font();
    face.setFamilies({"Noto Sans CJK SC", "Microsoft YaHei", "SimSun", face.family()});
    return face;
}

void StationWindow::setClock(std::function<QDateTime()> now) {
    now_ = std::move(now);
    refreshDay();
}

// What the operator needs at every scan (the serial box, the buttons, the
// verdict) always on the screen; the lines, the faults and the day below
// them, scrolled where the screen is small.
void StationWindow::build() {
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buildScanRow());
    buildStatus(layout);
    auto* below = new QWidget;
    auto* belowLayout = new QGridLayout(below);
    belowLayout->setContentsMargins(0, 0, 0, 0);
    buildFindings(belowLayout);
    belowLayout->addWidget(buildDay(below), 1, 0, 1, 2);
    belowLayout->setColumnStretch(0, 2);
    belowLayout->setColumnStretch(1, 1);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("below");
    scroll->setWidget(below);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setFocusPolicy(Qt::NoFocus);
    // The verdict a third of the window, what is below it the rest.
    layout->addWidget(scroll, 2);
    connectControls();
    resize(firstSize(this));
}

// The serial box with the focus, the start and cancel buttons.
QHBoxLayout* StationWindow::buildScanRow() {
    auto* scanRow = new QHBoxLayout;
    auto* serialLabel = new QLabel(QStringLiteral("序列号(&S)："), this);
    serial_ = new QLineEdit(this);
    serial_->setObjectName("serial");
    serial_->setAccessibleName(QStringLiteral("序列号"));
    serialLabel->setBuddy(serial_);
    serial_->setFont(VerdictView::largeFont(serial_->font()));
    serial_->installEventFilter(this);
    start_ = new QPushButton(QStringLiteral("开始(&T)"), this);
    start_->setObjectName("start");
    cancel_ = new QPushButton(QStringLiteral("取消 (Esc)"), this);
    cancel_->setObjectName("cancel");
    cancel_->setEnabled(false);
    // A click leaves the keyboard in the serial box, for the next scan.
    start_->setFocusPolicy(Qt::TabFocus);
    cancel_->setFocusPolicy(Qt::TabFocus);
    scanRow->addWidget(serialLabel);
    scanRow->addWidget(serial_, 1);
    scanRow->addWidget(start_);
    scanRow->addWidget(cancel_);
    return scanRow;
}

// Where and who, a retest's warning, the progress, the verdict, what failed
// to be kept.
void StationWindow::buildStatus(QVBoxLayout* layout) {
    const cli::selftest::Identity& who = settings_.output.who;
    auto* place = new QLabel(QStringLiteral("测试台 %1 · 型号 %2 · 操作员 %3 · 通道 %4")
                                 .arg(text(who.station), text(who.part.empty() ? "—" : who.part),
                                      text(who.operatorName),
                                      text(cli::records::channelRanges(settings_.setup.channels))),
                             this);
    place->setObjectName("place");
    place->setTextFormat(Qt::PlainText);
    fitted(place);
    layout->addWidget(place);
    retest_ = new QLabel(this);
    retest_->setObjectName("retest");
    retest_->setTextFormat(Qt::PlainText);
    fitted(retest_);
    warning(retest_, QColor(0xe6, 0x51, 0x00), QColor(0xff, 0xf3, 0xe0));
    retest_->hide();
    layout->addWidget(retest_);
    progress_ = new QProgressBar(this);
    progress_->setObjectName("progress");
    progress_->setAccessibleName(QStringLiteral("进度"));
    progress_->setFormat(QStringLiteral("%v 个图样"));
    progress_->setValue(0);
    layout->addWidget(progress_);
    verdict_ = new VerdictView(this);
    layout->addWidget(verdict_, 1);
    notice_ = new QLabel(this);
    notice_->setObjectName("notice");
    notice_->setTextFormat(Qt::PlainText);
    fitted(notice_);
    warning(notice_, QColor(0xb7, 0x1c, 0x1c), QColor());
    notice_->hide();
    layout->addWidget(notice_);
}

// The lines' picture and the faults in words, side by side.
void StationWindow::buildFindings(QGridLayout* belowLayout) {
    QWidget* below = belowLayout->parentWidget();
    lines_ = new LineGrid(settings_.setup.channels, below);
    auto* linesBox = new QGroupBox(QStringLiteral("各通道"), below);
    auto* linesLayout = new QVBoxLayout(linesBox);
    linesLayout->addWidget(lines_);
    linesLayout->addWidget(new LineLegend(linesBox));
    faults_ = new QListWidget(below);
    faults_->setObjectName("faults");
    faults_->setAccessibleName(QStringLiteral("故障"));
    auto* faultsBox = new QGroupBox(QStringLiteral("故障"), below);
    (new QVBoxLayout(faultsBox))->addWidget(faults_);
    belowLayout->addWidget(linesBox, 0, 0);
    belowLayout->addWidget(faultsBox, 0, 1);
}

// The day's counts, the last ten runs, the channels that fail most.
QGroupBox* StationWindow::buildDay(QWidget* below) {
    auto* dayBox = new QGroupBox(QStringLiteral("今天"), below);
    dayBox->setObjectName("day");
    auto* counts = new QFormLayout;
    counts->setObjectName("counts");
    tested_ = valueLabel("tested", dayBox);
    passed_ = valueLabel("passed", dayBox);
    failed_ = valueLabel("failed", dayBox);
    retests_ = valueLabel("retests", dayBox);
    yield_ = valueLabel("yield", dayBox);
    counts->addRow(QStringLiteral("已测："), tested_);
    counts->addRow(QStringLiteral("合格："), passed_);
    counts->addRow(QStringLiteral("不合格："), failed_);
    counts->addRow(QStringLiteral("复测："), retests_);
    counts->addRow(QStringLiteral("一次合格率："), yield_);
    lastTen_ = new QTableWidget(0, 3, dayBox);
    lastTen_->setObjectName("lastTen");
    lastTen_->setAccessibleName(QStringLiteral("最近十次"));
    lastTen_->setHorizontalHeaderLabels(
        {QStringLiteral("序列号"), QStringLiteral("结果"), QStringLiteral("时间")});
    // The serials get the room; the verdict and the time what they need.
    lastTen_->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    lastTen_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    lastTen_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::ResizeToContents);
    lastTen_->verticalHeader()->hide();
    lastTen_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves it for the next control, as the arrow keys move in it.
    lastTen_->setTabKeyNavigation(false);
    chart_ = new FaultChart(dayBox);
    auto* dayLayout = new QHBoxLayout(dayBox);
    dayLayout->addLayout(counts);
    // The last ten first: a 24-character serial shown whole at 800 pixels,
    // in Qt 5's wider metrics too.
    dayLayout->addWidget(lastTen_, 3);
    dayLayout->addWidget(chart_, 1);
    return dayBox;
}

void StationWindow::connectControls() {
    for (QWidget* elsewhere : {static_cast<QWidget*>(lines_), static_cast<QWidget*>(faults_),
                               static_cast<QWidget*>(lastTen_)})
        elsewhere->installEventFilter(this);
    connect(serial_, &QLineEdit::returnPressed, this, &StationWindow::startTest);
    connect(serial_, &QLineEdit::textEdited, this, [this] {
        burst_.key(ScanBurst::Clock::now());
        scanPause_.start();
    });
    connect(start_, &QPushButton::clicked, this, &StationWindow::startTest);
    connect(cancel_, &QPushButton::clicked, this, &StationWindow::cancelTest);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &StationWindow::cancelTest);
    setTabOrder(serial_, start_);
    setTabOrder(start_, cancel_);
    serial_->setFocus();
}

bool StationWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != serial_) {
        // A scan while the keyboard is on the lines, the faults or the last
        // ten goes to the serial box all the same, not lost in a list.
        if (event->type() != QEvent::KeyPress)
            return QWidget::eventFilter(watched, event);
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->text().isEmpty() || !key->text().at(0).isPrint() || key->text() == " " ||
            (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)))
            return QWidget::eventFilter(watched, event);
        serial_->setFocus();
        QCoreApplication::sendEvent(serial_, event);
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        // A scanner that ends its serial with a tab: the tab starts the test.
        if (key->key() == Qt::Key_Tab && !serial_->text().trimmed().isEmpty()) {
            startTest();
            return true;
        }
        // The next scan's first character takes the place of what waits.
        if (waiting_ && !key->text().isEmpty() && key->text().at(0).isPrint()) {
            serial_->clear();
            waiting_ = false;
        }
    } else if (event->type() == QEvent::InputMethod && waiting_ &&
               !static_cast<QInputMethodEvent*>(event)->commitString().isEmpty()) {
        serial_->clear();
        waiting_ = false;
    } else if (event->type() == QEvent::MouseButtonPress) {
        waiting_ = false; // a person edits it
    }
    return QWidget::eventFilter(watched, event);
}

bool StationWindow::testing() const {
    return job_->running();
}

void StationWindow::holdWaiting() {
    waiting_ = true;
    serial_->selectAll();
}

void StationWindow::startTest() {
    scanPause_.stop();
    burst_.clear();
    const std::string serial = convert::foldFullWidth(serial_->text().trimmed().toStdString());
    if (serial.empty())
        return;
    const auto now = ScanBurst::Clock::now();
    if (serial == testedSerial_ && now - startedAt_ < kDoubleRead) {
        serial_->clear();
        waiting_ = false;
        notice(QStringLiteral("%1 刚扫过（扫描枪读了两遍）：不另测")
                   .arg(text(convert::printable(serial, false))));
        return;
    }
    if (testing()) {
        holdWaiting();
        notice(QStringLiteral("正在测试 %1：等这次结束再扫下一件（%2 留在框里，扫下一件会替换它）")
                   .arg(text(testedSerial_), text(convert::printable(serial, false))));
        return;
    }
    waiting_ = false;
    if (convert::hasControl(serial)) {
        notice(QStringLiteral("序列号“%1”里有控制字符：请重新扫描")
                   .arg(text(convert::printable(serial, false))));
        serial_->clear();
        return;
    }
    notice(QString());
    bool retest = false;
    try {
        retest = readRetest(cli::records::databaseAt(settings_.output.db),
                            settings_.output.who.station, serial);
    } catch (const cli::Failure& e) {
        addNotice(unreadable(e));
    }
    retest_->setVisible(retest);
    retest_->setText(retest ? QStringLiteral("复测：%1 上次不合格").arg(text(serial)) : QString());
    testedSerial_ = serial;
    startedAt_ = now;
    // Free for the next unit's scan, which waits there while this one runs.
    serial_->clear();
    cli::SelftestOutput output = settings_.output;
    output.who.serial = serial;
    output.mqtt.reset(); // published once the verdict is shown
    lines_->clear();
    faults_->clear();
    progress_->setValue(0);
    progress_->setFormat(QStringLiteral("%v 个图样"));
    verdict_->setVerdict(VerdictView::State::Running,
                         QStringLiteral("序列号 %1").arg(text(serial)));
    cancel_->setEnabled(true);
    // The next unit's scan goes to the box, whatever started this one.
    serial_->setFocus();
    job_->start(settings_.setup, output);
}

void StationWindow::cancelTest() {
    if (testing())
        job_->cancel();
}

void StationWindow::showOutcome() {
    const Outcome& outcome = job_->outcome();
    cancel_->setEnabled(false);
    const QString serial = text(testedSerial_);
    QStringList problems;
    if (const auto* kept = std::get_if<cli::KeptRun>(&outcome.result)) {
        const cli::KeptRun& run = *kept;
        const double seconds = std::chrono::duration<double>(run.run.duration).count();
        verdict_->setVerdict(
            run.notReset                ? VerdictView::State::Unfinished
            : run.result.faults.empty() ? VerdictView::State::Pass
                                        : VerdictView::State::Fail,
            QStringLiteral("序列号 %1 · 用时 %2 秒 · %3")
                .arg(serial, QString::number(seconds, 'f', 2), now_().toString("HH:mm:ss")));
        // Its findings stand; that lines were left driven is said with them.
        if (run.notReset)
            problems << text(run.notReset->told());
        lines_->setReport(run.result);
        for (const std::string& line : cli::selftest::faultTexts(run.result))
            faults_->addItem(text(line));
        progress_->setValue(progress_->maximum());
        if (run.notRecorded)
            problems << text(cli::notRecordedText(*run.notRecorded));
        publisher_->publish(run.record, settings_.output.record && !run.notRecorded);
    } else {
        const std::string why = std::get<cli::Failure>(outcome.result).told();
        verdict_->setVerdict(VerdictView::State::Unfinished,
                             QStringLiteral("序列号 %1 · %2").arg(serial, text(why)));
        problems << text(why);
        // A run cut short is in the records (where they could be written),
        // with the others not yet delivered.
        if (outcome.ran && settings_.output.record) {
            cli::records::RecordedRun cut;
            cut.serial = testedSerial_;
            publisher_->publish(cut, true);
        }
    }
    // What was scanned meanwhile and waits in the box: the unit just tested
    // again is dropped; another waits, for Enter or for the next scan to
    // replace it. (What a person is still typing stays as it is.)
    const QString left = serial_->text().trimmed();
    if (waiting_ && convert::foldFullWidth(left.toStdString()) == testedSerial_) {
        serial_->clear();
        waiting_ = false;
        problems << QStringLiteral("框里的 %1 是刚测的这件，已清掉").arg(serial);
    } else if (waiting_) {
        holdWaiting();
        problems << QStringLiteral("%1 在框里等着：按回车测它，或扫下一件替换它").arg(left);
    }
    notice(problems.join("\n"));
    refreshDay();
    serial_->setFocus();
    emit verdictShown();
}

void StationWindow::refreshDay() {
    const QDateTime now = now_();
    const std::string dayStart = recordsTime(QDateTime(now.date(), QTime(0, 0)));
    try {
        showDay(readStationDay(cli::records::databaseAt(settings_.output.db),
                               settings_.output.who.station, dayStart, settings_.chartRuns));
    } catch (const cli::Failure& e) {
        addNotice(unreadable(e));
        showDay(stationDay({}, {}, dayStart, settings_.chartRuns));
    }
    rollDayAtMidnight();
}

void StationWindow::showDay(const StationDay& today) {
    const DayCounts& counts = today.counts;
    tested_->setText(QString::number(counts.tested));
    passed_->setText(QString::number(counts.passed));
    failed_->setText(QString::number(counts.failed));
    retests_->setText(QString::number(counts.retests));
    yield_->setText(counts.units == 0 ? QStringLiteral("—")
                                      : QStringLiteral("%1%（%2/%3 件）")
                                            .arg(counts.firstPassYield() * 100, 0, 'f', 1)
                                            .arg(counts.firstPassed)
                                            .arg(counts.units));
    const QDate day = now_().date();
    lastTen_->setRowCount(static_cast<int>(today.lastTen.size()));
    for (int row = 0; row < lastTen_->rowCount(); ++row) {
        const cli::records::RecordedRun& run = today.lastTen[static_cast<std::size_t>(row)];
        const QDateTime started =
            QDateTime::fromString(text(run.started), Qt::ISODateWithMs).toLocalTime();
        lastTen_->setItem(row, 0,
                          new QTableWidgetItem(text(convert::printable(run.serial, false))));
        lastTen_->setItem(row, 1,
                          new QTableWidgetItem(QString::fromUtf8(
                              convert::entryOf(cli::records::kRunStatusNames, run.status).word)));
        // Another day's run with its date.
        lastTen_->setItem(row, 2,
                          new QTableWidgetItem(started.toString(
                              started.date() == day ? "HH:mm:ss" : "yyyy-MM-dd HH:mm:ss")));
    }
    chart_->setCounts(today.mostFailing, today.chartedRuns);
}

// The day's counts start again at midnight, units or none.
void StationWindow::rollDayAtMidnight() {
    const QDateTime now = now_();
    const qint64 left = now.msecsTo(QDateTime(now.date().addDays(1), QTime(0, 0)));
    midnight_.start(
        static_cast<int>(std::clamp<qint64>(left + 500, 500, qint64{26} * 3600 * 1000)));
}

void StationWindow::notice(const QString& said) {
    notice_->setText(said);
    notice_->setVisible(!said.isEmpty());
    notice_->setAccessibleName(said);
}

void StationWindow::addNotice(const QString& said) {
    notice(notice_->text().isEmpty() ? said : notice_->text() + "\n" + said);
}

void StationWindow::resizeEvent(QResizeEvent* event) {
    // The verdict at least a third of the window, whatever is below it.
    verdict_->setMinimumHeight(height() / 3);
    QWidget::resizeEvent(event);
}

void StationWindow::finishWork() {
    job_->cancel();
    job_->wait();
    publisher_->finish();
}

void StationWindow::closeEvent(QCloseEvent* event) {
    // The lines back at 0 and the cut-short run kept before the window goes.
    finishWork();
    event->accept();
}

} // namespace station
