#pragma once
// Whether a kept run's findings follow from its own readings.

#include "convert/named.h"
#include "core/records/store.h"

#include <string>

namespace cli::records {

enum class TraceVerdict { Agrees, Disagrees, NotKept };
inline constexpr convert::Named<TraceVerdict> kTraceVerdictNames[] = {
    {TraceVerdict::Agrees, "agrees", "相符"},
    {TraceVerdict::Disagrees, "disagrees", "不符"},
    {TraceVerdict::NotKept, "not-kept", "没有记下读数"}};

struct TraceCheck {
    TraceVerdict verdict = TraceVerdict::NotKept;
    std::string why; // for Disagrees
};

// The test driven again on the run's kept readings: a run that ended agrees
// where they give its findings, one that was stopped where they are the
// start of a test; a run kept without them (an older layout, an older
// station) is NotKept.
TraceCheck checkTrace(const RecordedRun& run);

} // namespace cli::records
