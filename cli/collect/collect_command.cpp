#include "collect_command.h"

#include "core/base/errors.h"
#include "core/mqtt/topics.h"
#include "core/options/arguments.h"
#include "core/options/station_arguments.h"
#include "core/plant/postgres.h"

#include <memory>

namespace cli {

Finish<CollectSetup> Subcommand<CollectSetup>::declare(CLI::App& app) {
    struct Typed {
        std::string mqtt, db, clientId, batch = std::to_string(CollectSetup().batch);
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* collect =
        subcommand(app, "collect",
                   "收集程序：从代理收下各测试台的自检，存入工厂的 PostgreSQL（每次只存一次），"
                   "再告诉测试台已收到。SIGTERM 或 Ctrl-C 停止");
    collect->add_option("--mqtt", typed->mqtt, "代理；路径是各测试台的主题前缀")
        ->type_name("URL")
        ->required();
    collect
        ->add_option("--db", typed->db,
                     "PostgreSQL，如 postgresql://主机/库名 或 service=名字（默认按 PGHOST、"
                     "PGDATABASE、PGSERVICE）；密码放在 PGPASSFILE 或服务文件里")
        ->type_name("URL");
    CLI::Option* clientId =
        collect
            ->add_option("--client-id", typed->clientId,
                         "在代理上的会话名：停下时代理替它留着消息（默认 dio-collect- 加上由主题"
                         "前缀和 --db 得出的 8 位十六进制数；两个收集程序不可同名）")
            ->type_name("ID");
    defaulted(collect->add_option("--batch", typed->batch, "一个事务最多存几次自检"), "N");
    return [typed, clientId] {
        CollectSetup setup;
        setup.broker = mqtt::parseBrokerUrl(typed->mqtt);
        mqtt::checkTopics(setup.broker.prefix, "station");
        plant::checkConnectionText(typed->db);
        setup.db = typed->db;
        requirePrintable("--client-id", typed->clientId);
        if (*clientId && typed->clientId.empty())
            throw UsageError("--client-id 不能为空：代理只为有名字的会话留消息");
        setup.clientId = typed->clientId;
        setup.batch = static_cast<std::size_t>(parseNumber(typed->batch, "--batch", 1, 10000));
        return setup;
    };
}

ExitStatus Subcommand<CollectSetup>::run(const CollectSetup& setup) {
    collect(setup);
}

} // namespace cli
