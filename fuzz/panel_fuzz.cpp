// Random typing, pasting, spinning, double-clicking, clicking and ticking on the
// offscreen window against the recording fake driver.
//
// An input is lines, each an action letter and the action's text:
//   c t  assign t to txtDOChn      p t  paste t into txtDOChn   k t  type t into txtDOChn
//   v t  assign t to txtDOValue    g t  assign t to txtswChn    x t  assign t to txtSWO_0
//   n t  assign t to txtInbyteNum  u  spinner up   d  spinner down   D  double-click txtDOValue
//   B  click cmdDOOutput   S  click cmdSWO   T  toggle chkDI   t  run one tick
#include "fake_card.h"
#include "fuzz_check.h"
#include "panel/frm_multibuf.h"
#include "panel/updown_spinner.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace {

FakeCard* fake = nullptr;

QString channelText(panel::FrmMultiBuf& frm) {
    return frm.findChild<QLineEdit*>("txtDOChn")->text();
}

// The channel box shows " N" with N from 1 to 128, and the spinner N.
void checkChannel(panel::FrmMultiBuf& frm) {
    static const QRegularExpression settled("^ ([1-9][0-9]{0,2})$");
    const auto match = settled.match(channelText(frm));
    FUZZ_CHECK(match.hasMatch());
    const int n = match.captured(1).toInt();
    FUZZ_CHECK(n >= 1 && n <= 128);
    FUZZ_CHECK(frm.findChild<panel::UpDownSpinner*>("UpDownBitNum")->value() == n);
}

// Every output the driver received is in range.
void checkCalls(const FakeCard& fake) {
    for (const std::string& call : fake.calls()) {
        int a = 0, b = 0;
        if (std::sscanf(call.c_str(), "Zan_DOBit(%d,%d)", &a, &b) == 2) {
            FUZZ_CHECK(a >= 0 && a <= 127);
            FUZZ_CHECK(b == 0 || b == 1);
        } else if (std::sscanf(call.c_str(), "Zan_DO(%d,%d)", &a, &b) == 2) {
            FUZZ_CHECK(a >= -32768 && a <= 32767);
            FUZZ_CHECK(b >= 0 && b <= 255);
        } else {
            FUZZ_CHECK(call == "Zan_DI(4)" || call == "IOCtl(100,70,64,0,100)");
        }
    }
}

// Key by key, as a keyboard (or an input method) delivers any character.
void typeInto(QWidget* box, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(box, &release);
    }
}

void act(panel::FrmMultiBuf& frm, char action, const QString& text) {
    auto box = [&](const char* name) { return frm.findChild<QLineEdit*>(name); };
    auto* spinner = frm.findChild<panel::UpDownSpinner*>("UpDownBitNum");
    switch (action) {
    case 'c':
        box("txtDOChn")->setText(text);
        break;
    case 'p':
        box("txtDOChn")->insert(text);
        break;
    case 'k':
        box("txtDOChn")->setFocus();
        typeInto(box("txtDOChn"), text.left(16));
        break;
    case 'v':
        box("txtDOValue")->setText(text);
        break;
    case 'g':
        box("txtswChn")->setText(text);
        break;
    case 'x':
        box("txtSWO_0")->setText(text);
        break;
    case 'n':
        box("txtInbyteNum")->setText(text);
        break;
    case 'u':
        spinner->stepUp();
        break;
    case 'd':
        spinner->stepDown();
        break;
    case 'D':
        QTest::mouseDClick(box("txtDOValue"), Qt::LeftButton);
        break;
    case 'B':
        QTest::mouseClick(frm.findChild<QPushButton*>("cmdDOOutput"), Qt::LeftButton);
        break;
    case 'S':
        QTest::mouseClick(frm.findChild<QPushButton*>("cmdSWO"), Qt::LeftButton);
        break;
    case 'T': {
        auto* enable = frm.findChild<QCheckBox*>("chkDI");
        enable->setChecked(!enable->isChecked());
        break;
    }
    case 't':
        frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer);
        break;
    default:
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's font warnings for exotic scripts would drown the fuzzer's output.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& message) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(message));
    });
    // Both live until the process ends and are never destroyed: libFuzzer leaves
    // through exit(), after Qt's own statics are gone.
    static QApplication* application = new QApplication(*argc, *argv);
    static FakeCard* card = new FakeCard;
    (void)application;
    fake = card;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fake->reset();
    fake->setInputWords({0x1234, -1, 7, -32768});
    driver::DllDef dll(fake->search());
    int reported = 0;
    auto count = [&reported](const QString&) { ++reported; };
    panel::FrmMultiBuf frm(dll, {count, count});
    FUZZ_CHECK(frm.load());

    // Until its first change the channel box keeps its initial "1".
    bool channelTouched = false;
    QObject::connect(frm.findChild<QLineEdit*>("txtDOChn"), &QLineEdit::textChanged,
                     [&channelTouched] { channelTouched = true; });
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (line.empty())
            continue;
        const QString text = QString::fromUtf8(line.data() + 1, static_cast<int>(line.size() - 1));
        act(frm, line[0], text);
        // Only a refused group warns; nothing typed is ever an error.
        FUZZ_CHECK(!frm.hasFailed());
        if (channelTouched)
            checkChannel(frm);
        else
            FUZZ_CHECK(channelText(frm) == "1");
    }
    checkCalls(*fake);
    return 0;
}
