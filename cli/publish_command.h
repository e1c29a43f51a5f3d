#pragma once
// dio-cli publish --pending: what the plant does not have yet, sent again.

#include "cli/subcommand.h"
#include "core/runs/deliver.h"

namespace cli {

template <> struct Subcommand<DeliverySetup> {
    static constexpr const char* kName = "publish";
    static constexpr bool kUsesCard = false;
    static Finish<DeliverySetup> declare(CLI::App& app);
    // Throws PublishFailed while the plant has not confirmed every run.
    static ExitStatus run(const DeliverySetup& setup);
};

} // namespace cli
