#pragma once
// A plan's steps as JSON, the one form both stores read back (their steps
// tables' rows, gathered) and the run's message carries:
//   [{"name": "K1 closes", "pass": 1, "outcome": "failed", "measured_ms": null,
//     "limit_ms": 200, "findings": [{"kind": "late", "where": "DI1=1"}]}]

#include "core/plan/step_record.h"

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

namespace cli::records {

// At most this many passes a run (a plan's repeats together): the records
// refuse more, so that a run's message stays within its bound and a forged
// one cannot fill the store.
inline constexpr std::size_t kMostSteps = 1000;

nlohmann::ordered_json stepsJson(const std::vector<plan::RecordedStep>& steps);
// Throws std::invalid_argument naming what is not a step (an unknown outcome,
// a count out of range, a text too long or not UTF-8).
std::vector<plan::RecordedStep> stepsFromJson(const nlohmann::json& steps);
// From a store's text; RecordFailed naming the run where it is not ours.
std::vector<plan::RecordedStep> stepsFromText(const std::string& text, const std::string& uuid);

} // namespace cli::records
