#include "broker_url.h"

#include "convert/digits.h"
#include "core/base/errors.h"

namespace cli::mqtt {

std::string BrokerUrl::text() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (tls ? "mqtts://" : "mqtt://") + (v6 ? "[" + host + "]" : host) + ":" +
           std::to_string(port);
}

namespace {

// "host", "host:port" or "[IPv6]:port" into the host and the port given;
// why it is neither, or "".
std::string splitAuthority(const std::string& authority, std::string& host,
                           std::optional<std::string>& port) {
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos)
            return "缺少 ]";
        host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':')
                return "] 后应为 :端口";
            port = authority.substr(close + 2);
        }
        return "";
    }
    const std::size_t colon = authority.find(':');
    host = authority.substr(0, colon);
    if (colon != std::string::npos)
        port = authority.substr(colon + 1);
    return "";
}

} // namespace

BrokerUrl parseBrokerUrl(const std::string& url) {
    auto wrong = [&](const std::string& why) {
        return UsageError("--mqtt 的“" + url + "”不对：" + why +
                          "（应为 mqtt://主机[:端口]/主题前缀 或 mqtts://…）");
    };
    BrokerUrl broker;
    std::string rest;
    if (url.rfind("mqtt://", 0) == 0) {
        rest = url.substr(7);
    } else if (url.rfind("mqtts://", 0) == 0) {
        broker.tls = true;
        broker.port = 8883;
        rest = url.substr(8);
    } else {
        throw wrong("只认 mqtt:// 和 mqtts://");
    }
    const std::size_t slash = rest.find('/');
    const std::string authority = rest.substr(0, slash);
    broker.prefix = slash == std::string::npos ? "" : rest.substr(slash + 1);
    while (!broker.prefix.empty() && broker.prefix.back() == '/')
        broker.prefix.pop_back();
    if (authority.find('@') != std::string::npos)
        throw wrong("用户名和密码请放在环境变量 DIO_MQTT_USER、DIO_MQTT_PASSWORD 里");
    std::optional<std::string> port;
    if (const std::string problem = splitAuthority(authority, broker.host, port); !problem.empty())
        throw wrong(problem);
    if (broker.host.empty())
        throw wrong("缺少主机");
    if (port) {
        const std::optional<long> number = convert::decimalNumber(*port, 5);
        if (!number || *number < 1 || *number > 65535)
            throw wrong("端口应为 1 到 65535");
        broker.port = static_cast<int>(*number);
    }
    // Wildcards name many topics when subscribing; one cannot publish to them.
    if (broker.prefix.find_first_of("+#") != std::string::npos ||
        broker.prefix.find('\0') != std::string::npos)
        throw wrong("主题前缀里不能有 +、# 或空字符");
    return broker;
}

} // namespace cli::mqtt
