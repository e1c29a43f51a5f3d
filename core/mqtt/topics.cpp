#include "topics.h"

#include "convert/printable.h"
#include "convert/utf8.h"
#include "core/base/errors.h"

#include <utility>

namespace cli::mqtt {

std::string topic(const std::string& prefix, const std::string& station, const std::string& leaf) {
    return (prefix.empty() ? "" : prefix + "/") + station + "/" + leaf;
}

std::optional<std::string> stationOf(const std::string& topic, const std::string& prefix,
                                     const std::string& leaf) {
    const std::string head = prefix.empty() ? "" : prefix + "/", tail = "/" + leaf;
    if (topic.size() <= head.size() + tail.size() || topic.compare(0, head.size(), head) != 0 ||
        topic.compare(topic.size() - tail.size(), tail.size(), tail) != 0)
        return std::nullopt;
    std::string station = topic.substr(head.size(), topic.size() - head.size() - tail.size());
    if (station.find('/') != std::string::npos)
        return std::nullopt;
    return station;
}

void checkTopics(const std::string& prefix, const std::string& station) {
    auto refuse = [](const std::string& what, const std::string& text, const std::string& why) {
        return UsageError(what + "“" + convert::printable(text, false) + "”不能用在 MQTT 主题里（" +
                          why + "）");
    };
    for (const auto& [what, text] :
         {std::pair<std::string, const std::string&>{"测试台", station}, {"主题前缀", prefix}}) {
        if (!convert::validUtf8(text))
            throw refuse(what, text, "不是 UTF-8");
        if (convert::hasControl(text))
            throw refuse(what, text, "有控制字符");
        if (!text.empty() && text[0] == '$')
            throw refuse(what, text, "以 $ 开头的主题是代理自己的");
    }
    if (station.empty() || station.find_first_of("/+#") != std::string::npos)
        throw UsageError(
            "测试台“" + station +
            "”不能作 MQTT 主题的一级（不能为空，不能有 /、+、#）：用 --station 另起名");
    if (topic(prefix, station, "selftest").size() > 65535)
        throw refuse("测试台", station.substr(0, 40) + "…", "主题长过 65535 字节");
}

BrokerUrl stationBroker(const std::string& url, const std::string& station) {
    BrokerUrl broker = parseBrokerUrl(url);
    checkTopics(broker.prefix, station);
    return broker;
}

} // namespace cli::mqtt
