#include "serve_command.h"

#include "convert/digits.h"
#include "convert/ipv4.h"
#include "core/base/errors.h"
#include "core/options/arguments.h"

#include <memory>
#include <optional>
#include <tuple>

namespace cli {
namespace {

// "ADDRESS:PORT": an IPv4 address in dotted form and a port, 0 for one the
// system picks.
std::pair<std::string, int> listenAddress(const std::string& text) {
    const auto colon = text.rfind(':');
    const std::string host = colon == std::string::npos ? "" : text.substr(0, colon);
    const std::optional<long> port = colon == std::string::npos
                                         ? std::nullopt
                                         : convert::decimalNumber(text.substr(colon + 1), 5);
    if (!port || *port > 65535)
        throw UsageError("--listen 的“" + text + "”不对：应为“IPv4 地址:端口”，如 127.0.0.1:1502");
    const std::string problem = convert::ipv4Problem(host);
    if (!problem.empty())
        throw UsageError("--listen 的“" + text + "”不对：" + problem);
    return {host, static_cast<int>(*port)};
}

} // namespace

Finish<ServeSetup> Subcommand<ServeSetup>::declare(CLI::App& app) {
    struct Typed {
        std::string listen = ServeSetup().address + ":" + std::to_string(ServeSetup().port),
                    maxClients = std::to_string(ServeSetup().maxClients),
                    idleTimeout = formatDuration(ServeSetup().idleTimeout), log;
        bool readOnly = false;
        CLI::Option* logGiven = nullptr;
    };
    auto typed = std::make_shared<Typed>();
    CLI::App* serve = subcommand(
        app, "serve",
        "把板卡作为 Modbus TCP 设备：离散输入、输入寄存器为输入，线圈、保持寄存器为输出。"
        "Modbus 没有身份验证：只在可信的网络上监听");
    defaulted(serve->add_option("-l,--listen", typed->listen, "监听的地址和端口"), "ADDRESS:PORT");
    serve->add_flag("--read-only", typed->readOnly, "只读：每个写请求都答以异常 1");
    defaulted(serve->add_option("--max-clients", typed->maxClients, "同时最多几个客户端"), "N");
    defaulted(serve->add_option("--idle-timeout", typed->idleTimeout, "客户端多久没有请求就断开"),
              "TIME");
    typed->logGiven =
        serve->add_option("--log", typed->log, "日志写入此文件（默认标准错误）")->type_name("FILE");
    return [typed] {
        ServeSetup setup;
        std::tie(setup.address, setup.port) = listenAddress(typed->listen);
        setup.readOnly = typed->readOnly;
        setup.maxClients =
            static_cast<int>(parseNumber(typed->maxClients, "--max-clients", 1, 256));
        setup.idleTimeout = parseDuration(typed->idleTimeout, "--idle-timeout");
        if (*typed->logGiven)
            setup.log = typed->log;
        return setup;
    };
}

ExitStatus Subcommand<ServeSetup>::run(const ServeSetup& setup, Card& card) {
    serveCard(card, setup);
}

} // namespace cli
