#include "publish_command.h"

#include "core/base/console.h"
#include "core/base/errors.h"
#include "core/mqtt/topics.h"
#include "core/options/arguments.h"
#include "core/options/station_arguments.h"
#include "core/records/default_database.h"

#include <memory>

namespace cli {
namespace {

// How long dio-cli publish waits for the collector to confirm a thousand runs.
constexpr std::chrono::milliseconds kPublishWait{10000};

} // namespace

Finish<DeliverySetup> Subcommand<DeliverySetup>::declare(CLI::App& app) {
    struct Typed {
        std::string mqtt, db, wait = formatDuration(kPublishWait);
        bool pending = false;
        CLI::Option* dbGiven = nullptr;
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* publish =
        subcommand(app, "publish",
                   "把记录库里工厂的库还没确认收到的自检（最早的在前）发到代理，等收集程序确认");
    publish->add_flag("--pending", typed->pending, "发未确认的（必需）");
    publish->add_option("--mqtt", typed->mqtt, "代理，同 selftest 的 --mqtt")
        ->type_name("URL")
        ->required();
    typed->dbGiven = publish->add_option("--db", typed->db, kDbHelp)->type_name("FILE");
    defaulted(publish->add_option("--wait", typed->wait, "最多等收集程序确认多久"), "TIME");
    return [typed] {
        if (!typed->pending)
            throw UsageError("publish 只发未确认的：加上 --pending");
        DeliverySetup setup;
        setup.broker = mqtt::parseBrokerUrl(typed->mqtt);
        mqtt::checkTopics(setup.broker.prefix, "station");
        setup.db = records::databaseAt(databaseFile(typed->dbGiven, typed->db));
        setup.confirm = parseDuration(typed->wait, "--wait");
        return setup;
    };
}

// dio-cli publish --pending: what the plant does not have yet, sent again.
ExitStatus Subcommand<DeliverySetup>::run(const DeliverySetup& setup) {
    const Delivery done = deliverAllPending(setup);
    say("发送 " + std::to_string(done.sent) + " 次自检，工厂的库确认收到 " +
        std::to_string(done.confirmed) + " 次，仍待确认 " + std::to_string(done.left) + " 次");
    if (done.left > 0)
        throw PublishFailed("还有 " + std::to_string(done.left) +
                            " 次自检工厂的库没有确认收到（收集程序在运行吗？）：稍后再发");
    return ExitStatus::Ok;
}

} // namespace cli
