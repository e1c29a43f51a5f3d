// Test plans from their text to the card: what a plan file may say, and each
// kind of step on the simulated card with a simulated unit (a relay board
// whose inputs answer after a delay) and with the card's faults.
#include "core/card/card.h"
#include "core/plan/plan_output.h"
#include "driver/dlldef.h"
#include "sim_card.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <atomic>

namespace {

using namespace cli::plan;

const char* const kDeclared = R"(name = "RB-8"
version = "1"
[outputs]
K1 = 1
K2 = 2
[inputs]
DI1 = 9
DI2 = { word = 1, bit = 1 }
)";

// The refusal's text, or "" where the plan reads.
std::string refusal(const std::string& text) {
    try {
        parsePlan(text, "p.toml");
    } catch (const cli::UsageError& e) {
        return e.what();
    }
    return "";
}

TEST(PlanFile, RefusesWhatCannotRunNamingLineAndColumn) {
    const std::string step = "[[step]]\nname = \"s\"\n";
    const std::string declared = kDeclared;
    const struct Row {
        const char* what;
        std::string text;
        const char* starts; // where the refusal points
        const char* says;
    } rows[] = {
        {"not TOML", "name = \"x", "p.toml:1:", "TOML"},
        {"unknown top key", "name = \"a\"\nversion = \"1\"\nsteps = 1\n", "p.toml:3:1：", "steps"},
        {"no version", "name = \"a\"\n[[step]]\nname = \"s\"\ndrive = { 1 = 1 }\n", "p.toml:1:1：",
         "version"},
        {"no step", declared, "p.toml:1:1：", "至少要有一步"},
        {"typo in a step", declared + step + "expct = { DI1 = 1 }\n", "p.toml:11:1：", "expct"},
        {"unknown name driven", declared + step + "drive = { K9 = 1 }\n", "p.toml:11:11：",
         "没有声明过“K9”"},
        {"an input driven", declared + step + "drive = { DI1 = 1 }\n", "p.toml:11:11：",
         "DI1 是输入"},
        {"an output expected", declared + step + "expect = { K1 = 1 }\n", "p.toml:11:12：",
         "K1 是输出"},
        {"a channel expected", declared + step + "expect = { 9 = 1 }\n", "p.toml:11:12：",
         "9 是输出"},
        {"a channel named twice", "name = \"a\"\nversion = \"1\"\n[outputs]\nK1 = 1\nK2 = 1\n",
         "p.toml:5:6：", "已是输出 K1"},
        {"an input bit named twice", declared + "DI3 = { word = 1, bit = 0 }\n", "p.toml:9:7：",
         "已是输入 DI1"},
        {"a name twice", declared + "K1 = 3\n", "p.toml:9:1：", "第 4 行声明过"},
        {"a line driven twice", declared + step + "drive = { K1 = 1, 1 = 0 }\n", "p.toml:11:19：",
         "两次驱动通道 1"},
        {"a line driven by name and byte",
         declared + step + "drive = { K2 = 1 }\ngroups = { 0 = 3 }\n", "p.toml:12:12：",
         "两次驱动通道 2"},
        {"a value not a bit", declared + step + "expect = { DI1 = 2 }\n", "p.toml:11:18：",
         "\"x\""},
        {"within without expect", declared + step + "drive = { K1 = 1 }\nwithin = \"1s\"\n",
         "p.toml:12:10：", "没有 expect"},
        {"within shorter than settle",
         declared + step + "expect = { DI1 = 1 }\nsettle = 50\nwithin = \"20ms\"\n",
         "p.toml:13:10：", "短于"},
        {"a self-test with outputs", declared + step + "drive = { K1 = 1 }\nselftest = \"17-24\"\n",
         "p.toml:12:12：", "环回自检"},
        {"a self-test over a driven line",
         declared + step + "drive = { K1 = 1 }\n[[step]]\nname = \"t\"\nselftest = \"1-8\"\n",
         "p.toml:14:12：", "通道 1 由另一步驱动"},
        {"a self-test over a declared input", declared + step + "selftest = \"9-16\"\n",
         "p.toml:11:12：", "已是输入 DI1"},
        {"a step doing nothing", declared + step, "p.toml:9:1：", "什么也不做"},
        {"a step name twice",
         declared + step + "drive = { 1 = 1 }\n" + step + "drive = { 2 = 1 }\n", "p.toml:13:8：",
         "第 9 行用过"},
        {"repeat 0", declared + step + "drive = { 1 = 1 }\nrepeat = 0\n", "p.toml:12:10：", "1 到"},
        {"on-fail unknown", declared + step + "drive = { 1 = 1 }\non-fail = \"maybe\"\n",
         "p.toml:12:11：", "stop"},
        {"group 16", declared + step + "groups = { 16 = 1 }\n", "p.toml:11:12：", "0 到 15"},
        {"channel 129", declared + step + "drive = { 129 = 1 }\n", "p.toml:11:11：", "超出"},
        {"a duration malformed", declared + step + "drive = { 1 = 1 }\nsettle = \"fast\"\n",
         "p.toml:12:10：", "时长"},
        {"a name of digits", "name = \"a\"\nversion = \"1\"\n[outputs]\n12 = 1\n", "p.toml:4:1：",
         "不全是数字"},
        {"a control character", "name = \"a\\u0007\"\nversion = \"1\"\n", "p.toml:1:8：",
         "控制字符"},
        {"a terminal's C1 control", "name = \"a\\u009b2J\"\nversion = \"1\"\n", "p.toml:1:8：",
         "控制字符"},
        {"a duration text without its unit",
         declared + step + "drive = { 1 = 1 }\nsettle = \"200\"\n", "p.toml:12:10：", "单位"},
    };
    for (const Row& row : rows) {
        const std::string said = refusal(row.text);
        EXPECT_EQ(said.rfind(row.starts, 0), 0u) << row.what << ": " << said;
        EXPECT_NE(said.find(row.says), std::string::npos) << row.what << ": " << said;
    }
}

TEST(PlanFile, ReadsStepsAsWritten) {
    const Plan plan = parsePlan(std::string(kDeclared) + R"([[step]]
name = "byte"
groups = { 0 = 0x81 }
expect = { DI1 = "x", DI2 = 1 }
within = "1.5s"
repeat = 3
on-fail = "continue"
[[step]]
name = "loop"
selftest = "17-24"
)",
                                "p.toml");
    ASSERT_EQ(plan.steps.size(), 2u);
    const Step& byte = plan.steps[0];
    std::string driven;
    for (const auto& [channel, value] : byte.drive)
        driven += std::to_string(channel) + "=" + std::to_string(value) + " ";
    EXPECT_EQ(driven, "1=1 2=0 3=0 4=0 5=0 6=0 7=0 8=1 ");
    ASSERT_EQ(byte.expect.size(), 1u) << "the don't-care input is not read";
    EXPECT_EQ(plan.inputs[byte.expect[0].input].name, "DI2");
    EXPECT_EQ(byte.within, std::chrono::milliseconds(1500));
    EXPECT_EQ(byte.repeat, 3);
    EXPECT_FALSE(byte.stopOnFail);
    EXPECT_EQ(plan.steps[1].selftest.size(), 8u);
    EXPECT_EQ(plan.inputWords(), 2);
    EXPECT_NE(plan.digest, parsePlan(std::string(kDeclared) + "\n[[step]]\nname = \"s\"\n"
                                                              "drive = { 1 = 1 }\n",
                                     "p.toml")
                               .digest);
}

struct PlanOnCard : testing::Test {
    OwnSimulatedCard sim;
    driver::DllDef dll{sim.search()};
    cli::Card card{dll};

    // From all lines at 0, whatever an earlier test in this process left on
    // the card (its library, and so its memory, may outlive the test).
    void SetUp() override {
        for (int group = 0; group < cli::kChannels / 8; ++group)
            card.writeByte(group, 0);
    }

    // The steps' outcomes as "passed failed skipped ...", each pass once.
    std::string outcomes(const PlanResult& result) {
        std::string text;
        for (const StepResult& step : result.steps)
            text += (text.empty() ? "" : " ") + convert::nameIn(kOutcomeNames, step.outcome);
        return text;
    }
    // Every output line back at 0: without the unit, the loopback shows them.
    bool allAtZero() {
        sim.unit("");
        sim.faults("");
        for (std::int16_t word : card.readWords(cli::kChannels / 8))
            if (word != 0) {
                return false;
            }
        return true;
    }
};

const char* const kRelays = R"(name = "relays"
version = "2"
[outputs]
K1 = 1
K2 = 2
K3 = 3
[inputs]
DI1 = 9
DI2 = 10
DI3 = 11
)";

TEST_F(PlanOnCard, RunsEachKindOfStepAndLeavesEveryLineAtZero) {
    const struct Row {
        const char* what;
        const char* unit;
        const char* faults;
        std::string steps;
        const char* outcomes;
        const char* finding; // in the failed steps' words, or ""
    } rows[] = {
        {"a relay met within its limit", "1>9@20", "",
         "[[step]]\nname = \"a\"\ndrive = { K1 = 1 }\nexpect = { DI1 = 1 }\nwithin = \"2s\"\n",
         "passed", ""},
        {"a relay slower than its limit", "1>9@400", "",
         "[[step]]\nname = \"a\"\ndrive = { K1 = 1 }\nexpect = { DI1 = 1 }\nwithin = \"100ms\"\n",
         "failed", "DI1 应为 1，读到 0；100 ms 内没有等到"},
        {"a relay read before it switched, without waiting", "1>9@400", "",
         "[[step]]\nname = \"a\"\ndrive = { K1 = 1 }\nexpect = { DI1 = 1 }\n", "failed",
         "DI1 应为 1，读到 0"},
        {"an inverted input, a byte, a don't-care flickering", "!2>10;3>11", "flicker=9",
         "[[step]]\nname = \"a\"\ngroups = { 0 = 0x04 }\nexpect = { DI2 = 1, DI3 = 1, DI1 = \"x\" "
         "}\n",
         "passed", ""},
        {"a dead relay stops the plan", "2>10", "",
         "[[step]]\nname = \"a\"\ndrive = { K1 = 1 }\nexpect = { DI2 = 1 }\n"
         "[[step]]\nname = \"b\"\ndrive = { K2 = 1 }\nexpect = { DI2 = 1 }\n",
         "failed skipped", "DI2 应为 1，读到 0"},
        {"on-fail continue goes on", "2>10", "",
         "[[step]]\nname = \"a\"\ndrive = { K1 = 1 }\nexpect = { DI2 = 1 }\non-fail = "
         "\"continue\"\n"
         "[[step]]\nname = \"b\"\ndrive = { K2 = 1 }\nexpect = { DI2 = 1 }\n",
         "failed passed", "DI2 应为 1，读到 0"},
        {"a repeated step, each pass", "1>9", "",
         "[[step]]\nname = \"a\"\ndrive = { K1 = 1 }\nexpect = { DI1 = 1 }\nrepeat = 3\n"
         "[[step]]\nname = \"b\"\ndrive = { K1 = 0 }\nexpect = { DI1 = 0 }\n",
         "passed passed passed passed", ""},
        {"a self-test step names the cable's faults", "", "stuck0=20",
         "[[step]]\nname = \"loop\"\nselftest = \"17-24\"\n"
         "[[step]]\nname = \"b\"\ndrive = { K1 = 1 }\n",
         "failed skipped", "通道 20"},
        {"a chattering contact in a timed step", "1>9~", "",
         "[[step]]\nname = \"a\"\ndrive = { K1 = 1 }\nexpect = { DI1 = 1 }\nwithin = \"1s\"\n",
         "failed", "时通时断"},
        {"met, but over the limit by a fraction", "1>9", "",
         "[[step]]\nname = \"a\"\ndrive = { K1 = 1 }\nexpect = { DI1 = 1 }\nwithin = \"100ms\"\n"
         "settle = \"100ms\"\n",
         "failed", "超过了限时"},
        {"a flickering expected input is unsteady", "", "flicker=9;seed=3",
         "[[step]]\nname = \"a\"\ndrive = { K1 = 1 }\nexpect = { DI1 = 1 }\nrepeat = 20\n"
         "on-fail = \"continue\"\n",
         "", "时通时断"},
    };
    for (const Row& row : rows) {
        sim.unit(row.unit);
        sim.faults(row.faults);
        const Plan plan = parsePlan(kRelays + row.steps, "p.toml");
        const PlanResult result = runPlan(card, plan, {});
        if (*row.outcomes) {
            EXPECT_EQ(outcomes(result), row.outcomes) << row.what;
        }
        std::string finding; // every failed step's
        for (const StepResult& step : result.steps)
            if (step.outcome == Outcome::Failed)
                finding += findingText(plan, step) + "\n";
        EXPECT_NE(finding.find(row.finding), std::string::npos) << row.what << ": " << finding;
        EXPECT_EQ(finding.empty(), !*row.finding) << row.what;
        EXPECT_TRUE(allAtZero()) << row.what;
    }
}

// The time a relay took is its measurement: never less than its delay.
TEST_F(PlanOnCard, MeasuresTheTimeAnInputTookAgainstItsLimit) {
    sim.unit("1>9@60");
    const Plan plan =
        parsePlan(std::string(kRelays) + "[[step]]\nname = \"a\"\ndrive = { K1 = 1 }\n"
                                         "expect = { DI1 = 1 }\nwithin = \"5s\"\n",
                  "p.toml");
    const PlanResult result = runPlan(card, plan, {});
    ASSERT_TRUE(result.steps[0].measured);
    EXPECT_GE(result.steps[0].measured->count(), 60 - 1) << "milliseconds, cut at both ends";
    const auto json = resultJson(plan, result);
    EXPECT_EQ(json["steps"][0]["limit_ms"], 5000);
    EXPECT_EQ(json["steps"][0]["measured_ms"], result.steps[0].measured->count());
}

// Stopped between steps (a window's cancel): what it drove goes back to 0
// and the failure says so.
TEST_F(PlanOnCard, StoppedMidwayPutsTheLinesBack) {
    sim.unit("1>9");
    std::atomic<bool> cancel{false};
    RunOptions options;
    options.cancel = &cancel;
    options.onStep = [&](const StepResult& step) {
        if (step.outcome == Outcome::Passed)
            cancel = true;
    };
    const Plan plan =
        parsePlan(std::string(kRelays) + "[[step]]\nname = \"a\"\ndrive = { K1 = 1, K2 = 1 }\n"
                                         "expect = { DI1 = 1 }\n[[step]]\nname = \"b\"\n"
                                         "drive = { K3 = 1 }\nsettle = \"10s\"\n",
                  "p.toml");
    try {
        runPlan(card, plan, options);
        ADD_FAILURE() << "not stopped";
    } catch (const cli::Interrupted& e) {
        EXPECT_NE(e.told().find("已复位为 0"), std::string::npos) << e.told();
    }
    EXPECT_TRUE(allAtZero());
}

} // namespace
