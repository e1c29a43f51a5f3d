#include "topics.h"

#include "cli/errors.h"

namespace cli::mqtt {

std::string topic(const std::string& prefix, const std::string& station, const std::string& leaf) {
    return (prefix.empty() ? "" : prefix + "/") + station + "/" + leaf;
}

void checkStation(const std::string& station) {
    if (station.empty() || station.find_first_of("/+#") != std::string::npos ||
        station.find('\0') != std::string::npos)
        throw UsageError(
            "测试台“" + station +
            "”不能作 MQTT 主题的一级（不能为空，不能有 /、+、#）：用 --station 另起名");
}

} // namespace cli::mqtt
