// The simulated card, the default driver: what it answers, the faults it
// reads from ADCARD_SIM_FAULTS, and its outputs shared between processes.
#include "driver/dlldef.h"
#include "sim_card.h"
#include "simcard/faults.h"
#include "simcard/unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#if !defined(_WIN32)
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

// The simulated card, the panel's default driver, a fresh one with all lines
// clear. Channel 9 (group 1, bit 0) is
// left by a byte to group 0; only a byte's low bits count; any value but 0 sets
// a line; what lies outside the 128 lines is ignored.
TEST(SimulatedCard, IdentifiesItselfAndReadsBackWhatIsWritten) {
    OwnSimulatedCard card;
    driver::DllDef dll(card.search());
    std::uint8_t request[8] = {70, 64}, reply[8] = {};
    EXPECT_EQ(dll.IOCtl(100, request, 100, reply), 0);
    EXPECT_EQ(std::vector<int>(reply, reply + 5), std::vector<int>({51, 8, 0, 0, 1}));
    dll.Zan_DOBit(8, 1);
    for (const auto& [group, byte] : {std::pair(0, 0xFF), {15, 0x1A5}, {16, 0xFF}, {-1, 0xFF}})
        dll.Zan_DO(group, byte);
    for (const auto& [bit, value] : {std::pair(127, 5), {0, 0}, {-1, 1}, {128, 1}})
        dll.Zan_DOBit(bit, value);
    std::int16_t words[33];
    std::fill_n(words, 33, -7);
    EXPECT_EQ(dll.Zan_DI(32767, words), 16);
    EXPECT_EQ(std::vector<int>(words, words + 17),
              std::vector<int>({0xFE, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xA5 | 0x80, -7}));
}

// A malformed description names the part that is wrong.
TEST(SimulatedCard, ReadsTheFaultsAskedFor) {
    const std::pair<const char*, const char*> cases[] = {
        {"stuck0=5;short-and=17,18;short-or=20,21,22;cross=33,40;open=60;stuck1=9", ""},
        {"short-and=17", "“short-and=17”"},
        {"cross=1,1", "“cross=1,1”"},
        {"stuck0=129", "“stuck0=129”"},
        {"stuck0=5;stuck1=5", "“stuck1=5”"},
        {"short-or=1,2;short-and=2,3", "“short-and=2,3”"},
        {"cross=1,2;cross=2,3", "“cross=2,3”"},
        {"loose=4", "“loose=4”"},
        {"stuck0", "“stuck0”"},
        {"cross=1,2;cross=2,3", "“cross=2,3”：通道 2 已与另一条交叉"},
        {"seed=123456789", ""},
        {"seed=1234567890", "“seed=1234567890”"},
        {"flicker=5;seed=7;silent-after=300;silent=1,2", ""},
        {"seed=x", "“seed=x”"},
        {"silent-after=", "“silent-after=”"},
        {";;", ""}};
    for (const auto& [description, named] : cases) {
        std::string error;
        const bool read = simcard::parseFaults(description, error).has_value();
        EXPECT_EQ(read, *named == '\0') << description;
        EXPECT_EQ(error.substr(0, std::string(named).size()), named) << description;
    }
}

// A unit's description: each input answered by one output, after its delay.
TEST(SimulatedCard, ReadsTheUnitAskedFor) {
    const std::pair<const char*, const char*> cases[] = {{"1>9@20;!2>10;3>11~@60000;;", ""},
                                                         {"1>9;2>9", "输入 9 给了两次"},
                                                         {"1>129", "“1>129”"},
                                                         {"0>9", "“0>9”"},
                                                         {"1>9@60001", "“1>9@60001”"},
                                                         {"1>9@", "“1>9@”"},
                                                         {"1-9", "“1-9”"},
                                                         {"!>9", "“!>9”"}};
    for (const auto& [description, named] : cases) {
        std::string error;
        const auto unit = simcard::parseUnit(description, error);
        EXPECT_EQ(unit.has_value(), *named == '\0') << description;
        EXPECT_EQ(error.substr(0, std::string(named).size()), named) << description;
    }
    std::string error;
    const simcard::Unit unit = *simcard::parseUnit("!2>10@30", error);
    const simcard::Unit::Answer& answer = unit.inputs[9];
    EXPECT_EQ(answer.output, 1);
    // Inverted: output 1 reads 0 once settled, and 1 (the output's earlier 0) before.
    EXPECT_FALSE(simcard::unitAnswer(answer, true, 30));
    EXPECT_TRUE(simcard::unitAnswer(answer, true, 29));
}

// Every card name is a name of its own: letters, digits and '-' as they are,
// every other byte escaped, so that no two names meet.
TEST(SimulatedCard, NamesEveryCardApart) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "default"},  {"card-9", "card-9"}, {"a/b", "a_2Fb"},
        {"a.b", "a_2Eb"}, {"a_b", "a_5Fb"},     {"测试", "_E6_B5_8B_E8_AF_95"}};
    for (const auto& [card, suffix] : cases) {
        const std::string name = simcard::sharedMemoryName(card);
        EXPECT_EQ(name.substr(name.size() - std::string(suffix).size()), suffix) << card;
    }
    EXPECT_EQ(simcard::sharedMemoryName(std::string(201, 'x')), "") << "too long";
}

#if !defined(_WIN32)
// A byte written with Zan_DO is latched whole: a reader in another process
// never sees half of it, as it did when each line was stored apart.
TEST(SimulatedCard, LatchesAByteWhole) {
    OwnSimulatedCard sim;
    driver::DllDef dll{sim.search()};
    ASSERT_EQ(dll.Zan_DO(3, 0), 0);
    const pid_t writer = fork();
    if (writer == 0) { // writes until the reader has read enough
        driver::DllDef own{sim.search()};
        for (int i = 0;; ++i)
            own.Zan_DO(3, i % 2 ? 0xFF : 0x00);
    }
    int torn = 0;
    const int reads = 200000;
    for (int read = 0; read < reads; ++read) {
        dll.Zan_DI(4, dll.diBuffer.data());
        torn += dll.diBuffer[3] != 0 && dll.diBuffer[3] != 0xFF;
    }
    kill(writer, SIGKILL);
    waitpid(writer, nullptr, 0);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
}
#endif

} // namespace
