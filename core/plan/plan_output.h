#pragma once
// A plan's run as people and tools read it: text lines, JSON, JUnit XML.

#include "core/plan/plan_run.h"
#include "core/plan/step_record.h"
#include "core/selftest/junit.h"

#include <nlohmann/json_fwd.hpp>

#include <string>

namespace cli::plan {

// The step's name, with its pass where it repeats: "K1 吸合（第 2/3 次）".
std::string passName(const Plan& plan, const StepResult& step);
// What went wrong in words: "DI2 应为 1，读到 0；..." ("" for a pass).
std::string findingText(const Plan& plan, const StepResult& step);
// "[通过] K1 吸合：18 ms（限 200 ms）".
std::string stepLine(const Plan& plan, const StepResult& step);
// The plan's line, a line a step, and the verdict.
std::string resultText(const Plan& plan, const PlanResult& result);

// The passes as the records keep them, each with its findings (an input that
// never met its expectation: "not-met", "DI2=1"; one that changed between
// readings: "intermittent"; a self-test's faults: their kinds and channels).
std::vector<RecordedStep> recordedSteps(const Plan& plan, const std::vector<StepResult>& steps);

nlohmann::ordered_json resultJson(const Plan& plan, const PlanResult& result);

// One test suite named for the serial (or the plan), with the plan's name,
// version and digest among its properties; a test case a step's pass, the
// skipped ones marked so.
std::string junitXml(const Plan& plan, const PlanResult& result, const selftest::Run& run);

} // namespace cli::plan
