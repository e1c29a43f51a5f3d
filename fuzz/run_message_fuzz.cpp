// Any message a network peer may publish on a station's topic, as the
// collector reads it: refused as no run (NotARun) or read as a run that,
// sent again, reads back the same, and whose findings its trace gives.
// Nothing else thrown, no crash.
#include "check.h"
#include "core/records/run_message.h"
#include "core/records/trace_check.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace cli::records;
    RecordedRun run;
    try {
        run = runFromMessage(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const NotARun&) {
        return 0;
    }
    const RecordedRun again = runFromMessage(runMessage(run));
    CHECK(again.uuid == run.uuid && again.serial == run.serial && again.started == run.started &&
          again.status == run.status && again.faults.size() == run.faults.size() &&
          again.trace.has_value() == run.trace.has_value() &&
          (!run.trace || again.trace->patterns.size() == run.trace->patterns.size()));
    // A run taken is one whose findings its trace gives.
    CHECK(checkTrace(run).verdict != TraceVerdict::Disagrees);
    return 0;
}
