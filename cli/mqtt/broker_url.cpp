#include "broker_url.h"

#include "cli/common/errors.h"
#include "convert/digits.h"

namespace cli::mqtt {

std::string BrokerUrl::text() const {
    const bool v6 = host.find(':') != std::string::npos;
    return (tls ? "mqtts://" : "mqtt://") + (v6 ? "[" + host + "]" : host) + ":" +
           std::to_string(port);
}

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
    std::string authority = rest.substr(0, slash);
    broker.prefix = slash == std::string::npos ? "" : rest.substr(slash + 1);
    while (!broker.prefix.empty() && broker.prefix.back() == '/')
        broker.prefix.pop_back();
    if (authority.find('@') != std::string::npos)
        throw wrong("用户名和密码请放在环境变量 DIO_MQTT_USER、DIO_MQTT_PASSWORD 里");
    std::string port;
    bool portGiven = false;
    if (!authority.empty() && authority[0] == '[') { // [IPv6]:port
        const std::size_t close = authority.find(']');
        if (close == std::string::npos)
            throw wrong("缺少 ]");
        broker.host = authority.substr(1, close - 1);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':')
                throw wrong("] 后应为 :端口");
            port = authority.substr(close + 2);
            portGiven = true;
        }
    } else {
        const std::size_t colon = authority.find(':');
        broker.host = authority.substr(0, colon);
        if (colon != std::string::npos) {
            port = authority.substr(colon + 1);
            portGiven = true;
        }
    }
    if (broker.host.empty())
        throw wrong("缺少主机");
    if (portGiven) {
        const std::optional<long> number = convert::decimalNumber(port, 5);
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
