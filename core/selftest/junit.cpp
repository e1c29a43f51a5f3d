#include "junit.h"

#include "convert/utf8.h"
#include "core/base/timestamp.h"

#include <cstdio>
#include <map>

namespace cli::selftest {
// Text for an XML attribute or element: the five characters XML reserves
// escaped, and whatever XML 1.0 cannot carry (bytes that are not UTF-8,
// control characters, U+FFFE) replaced or dropped, so that the file is
// well-formed whatever was typed.
std::string xmlEscaped(const std::string& text) {
    std::string out;
    for (const char c : convert::xmlCharacters(text)) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string junitXml(const Report& report, const std::vector<int>& channels, const Run& run) {
    // Each channel's faults, as the report's texts say them.
    std::map<int, std::vector<std::pair<std::string, std::string>>> faults;
    const std::vector<std::string> texts = faultTexts(report);
    for (std::size_t i = 0; i < report.faults.size(); ++i)
        for (const int channel : report.faults[i].channels)
            faults[channel].push_back({nameOf(report.faults[i].kind), texts[i]});
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", run.duration.count());
    const std::string name = run.serial.empty() ? "dio-cli selftest" : run.serial;
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n"
                      "  <testsuite name=\"" +
                      xmlEscaped(name) + "\" tests=\"" + std::to_string(channels.size()) +
                      "\" failures=\"" + std::to_string(faults.size()) +
                      "\" errors=\"0\" skipped=\"0\" timestamp=\"" +
                      xmlEscaped(isoTimestamp(run.start, true)) + "\" time=\"" + seconds +
                      "\" hostname=\"" + xmlEscaped(run.station) + "\">\n    <properties>\n";
    for (const auto& [key, value] :
         {std::pair<const char*, const std::string&>("serial", run.serial),
          {"part", run.part},
          {"station", run.station},
          {"operator", run.operatorName}})
        xml += "      <property name=\"" + std::string(key) + "\" value=\"" + xmlEscaped(value) +
               "\"/>\n";
    xml += "    </properties>\n";
    for (const int channel : channels) {
        xml += "    <testcase classname=\"" + xmlEscaped(name) + "\" name=\"通道 " +
               std::to_string(channel) + "\" time=\"0\"";
        const auto found = faults.find(channel);
        if (found == faults.end()) {
            xml += "/>\n";
            continue;
        }
        std::string kinds, messages;
        for (const auto& [kind, text] : found->second) {
            kinds += (kinds.empty() ? "" : ",") + kind;
            messages += (messages.empty() ? "" : "；") + text;
        }
        xml += ">\n      <failure type=\"" + xmlEscaped(kinds) + "\" message=\"" +
               xmlEscaped(messages) + "\">" + xmlEscaped(messages) +
               "</failure>\n    </testcase>\n";
    }
    return xml + "  </testsuite>\n</testsuites>\n";
}

} // namespace cli::selftest
