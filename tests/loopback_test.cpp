// The panel on the simulated card: what is written comes back on the inputs.
#include "driver/dlldef.h"
#include "fake_card.h"
#include "panel/frm_multibuf.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString u(const char* text) {
    return QString::fromUtf8(text);
}

TEST(Loopback, OutputsShowOnTheNextEnabledTick) {
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(FakeCard::simcardFolder())};
    QStringList errors;
    panel::FrmMultiBuf frm(dll, {[&](const QString& text) { errors << text; }, {}});
    ASSERT_TRUE(frm.load());
    auto box = [&](const char* name) { return frm.findChild<QLineEdit*>(name); };
    auto caption = [&](const char* name) { return frm.findChild<QLabel*>(name)->text(); };
    auto click = [&](const char* name) {
        QTest::mouseClick(frm.findChild<QPushButton*>(name), Qt::LeftButton);
    };
    auto tick = [&] { ASSERT_TRUE(frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer)); };

    // The card keeps its lines while loaded: start from all lines clear.
    box("txtSWO_0")->setText("0");
    for (const char* group : {"0", "1"}) {
        box("txtswChn")->setText(group);
        click("cmdSWO");
    }

    box("txtswChn")->setText("0");
    box("txtSWO_0")->setText("FF");
    click("cmdSWO");
    frm.findChild<QCheckBox*>("chkDI")->setChecked(true);
    tick();
    EXPECT_EQ(caption("lblDI"), u("FF-0-0-0"));
    EXPECT_EQ(caption("lblDI_0"), u("FF      1   1   1   1   1   1   1   1"));

    box("txtDOChn")->setText("9");
    box("txtDOValue")->setText("1");
    click("cmdDOOutput");
    tick();
    EXPECT_EQ(caption("lblDI"), u("FF-1-0-0"));
    EXPECT_EQ(caption("lblDI_1"), u("1      0   0   0   0   0   0   0   1"));

    box("txtDOChn")->setText("1");
    box("txtDOValue")->setText("0");
    click("cmdDOOutput");
    tick();
    EXPECT_EQ(caption("lblDI_0"), u("FE      1   1   1   1   1   1   1   0"));
    EXPECT_TRUE(errors.isEmpty());
}

} // namespace
