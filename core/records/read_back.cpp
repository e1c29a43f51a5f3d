#include "read_back.h"

#include "convert/printable.h"

#include <sstream>

namespace cli::records {

RecordFailed unknownName(const char* what, const std::string& name) {
    return RecordFailed(std::string("记录库里有不认识的") + what + "“" +
                        convert::printable(name, false) + "”（不是 dio-cli 写的？）");
}

std::vector<int> channelList(const std::string& text) {
    std::vector<int> channels;
    std::istringstream in(text);
    for (int channel = 0; in >> channel; in.ignore(1))
        channels.push_back(channel);
    return channels;
}

selftest::Fault faultFromNames(const std::string& kind, const std::string& channels,
                               const std::string& wired, const std::string& why,
                               long long flickers) {
    using namespace selftest;
    return {fromName(kind, kFaultKindNames, "故障种类"), channelList(channels),
            fromName(wired, kWiredNames, "短路方式"), fromName(why, kWhyNames, "无法判断的原因"),
            static_cast<int>(flickers)};
}

} // namespace cli::records
