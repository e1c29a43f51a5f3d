// The panel on the Modbus TCP driver, the card served by dio-cli serve on the
// other side of loopback: a byte written in the panel shows on its inputs at
// the next tick; the server stopped shows in the title within a tick, the
// inputs left as they were; the server back, the title is the design's again.
#include "driver/dlldef.h"
#include "panel/frm_multibuf.h"
#include "sim_card.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include <cstring>
#include <memory>

#include <gtest/gtest.h>

#if !defined(_WIN32)
#include <csignal>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

// dio-cli serve on the simulated card, on the port given (0: one it picks).
class Served {
public:
    explicit Served(int port) {
        int out[2];
        if (pipe(out) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        std::string listen = "127.0.0.1:" + std::to_string(port);
        char* argv[] = {const_cast<char*>(DIO_CLI), const_cast<char*>("serve"),
                        const_cast<char*>("--listen"), listen.data(), nullptr};
        posix_spawn(&pid_, DIO_CLI, &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        said_ = fdopen(out[0], "r");
        for (char line[512]; port_ == 0 && std::fgets(line, sizeof line, said_);)
            if (const char* at = std::strstr(line, "正在监听 127.0.0.1:"))
                port_ = std::atoi(at + std::strlen("正在监听 127.0.0.1:"));
    }
    ~Served() {
        kill(pid_, SIGINT);
        waitpid(pid_, nullptr, 0);
        std::fclose(said_);
    }
    int port() const { return port_; }

private:
    pid_t pid_ = 0;
    int port_ = 0;
    std::FILE* said_ = nullptr;
};

TEST(PanelOnTheNetwork, ShowsTheRemoteCardAndADeadLinkInTheTitle) {
    OwnSimulatedCard sim; // the served card's name, passed on to the server
    auto served = std::make_unique<Served>(0);
    const int port = served->port();
    ASSERT_GT(port, 0);
    setenv("ADCARD_MODBUS", ("127.0.0.1:" + std::to_string(port)).c_str(), 1);
    driver::DllDef dll{driver::LibrarySearch::cardDriverIn(MODBUS_DIR)};
    panel::FrmMultiBuf frm(dll, {});
    ASSERT_TRUE(frm.load());
    EXPECT_EQ(frm.findChild<QLabel*>("lblInfo")->text(), "卡名：ZAN 51 8类型： 1");
    frm.findChild<QCheckBox*>("chkDI")->setChecked(true);
    frm.findChild<QLineEdit*>("txtswChn")->setText("1");
    frm.findChild<QLineEdit*>("txtSWO_0")->setText("3C");
    QTest::mouseClick(frm.findChild<QAbstractButton*>("cmdSWO"), Qt::LeftButton);
    ASSERT_TRUE(frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer));
    QLabel* lblDI = frm.findChild<QLabel*>("lblDI");
    EXPECT_EQ(lblDI->text(), "0-3C-0-0");
    EXPECT_EQ(frm.windowTitle(), "测试及编程源程序");

    served.reset();
    ASSERT_TRUE(frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer));
    EXPECT_TRUE(frm.windowTitle().startsWith("测试及编程源程序 — "))
        << frm.windowTitle().toStdString();
    EXPECT_EQ(lblDI->text(), "0-3C-0-0") << "the inputs left as they were";

    served = std::make_unique<Served>(port);
    ASSERT_EQ(served->port(), port);
    std::this_thread::sleep_for(std::chrono::milliseconds(1100)); // reconnects once a second
    ASSERT_TRUE(frm.dispatch(&panel::FrmMultiBuf::TimerAD_Timer));
    EXPECT_EQ(frm.windowTitle(), "测试及编程源程序");
    EXPECT_EQ(lblDI->text(), "0-3C-0-0");
    frm.findChild<QLineEdit*>("txtSWO_0")->setText("0");
    QTest::mouseClick(frm.findChild<QAbstractButton*>("cmdSWO"), Qt::LeftButton);
    unsetenv("ADCARD_MODBUS");
}

} // namespace
#endif
