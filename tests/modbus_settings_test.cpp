// The Modbus driver's settings as they read, or the refusal naming the
// setting: every address the driver would send is exactly the one configured.
#include "modbuscard/settings.h"
#include "rules/board_info.h"

#include <gtest/gtest.h>

namespace {

std::string readAs(const std::string& text) {
    std::string why;
    const std::optional<modbuscard::Settings> read = modbuscard::parseSettings(text, why);
    if (!read)
        return "refused: " + why;
    return read->host + ":" + std::to_string(read->port) + " unit " + std::to_string(read->unit) +
           " coils " + std::to_string(read->coils) + " lines " + std::to_string(read->lines) +
           " timeout " + std::to_string(read->timeoutMs) +
           (read->caption ? " caption " + std::to_string((*read->caption)[2]) : "");
}

struct Row {
    const char* what;
    const char* text;
    const char* readsAs; // or the start of the refusal
};

TEST(ModbusSettings, ReadAsConfiguredOrRefusedNamingTheSetting) {
    const Row rows[] = {
        {"host:port alone", "192.168.1.20:502", "192.168.1.20:502 unit 1 coils 0 lines 128"},
        {"inline", "host=10.0.0.1; unit=247; coils=65408; timeout=20ms",
         "10.0.0.1:502 unit 247 coils 65408 lines 128 timeout 20"},
        {"a file's lines", "# module\nhost = 10.0.0.1\nunit = 255\nlines = 8 # eight\n",
         "10.0.0.1:502 unit 255 coils 0 lines 8"},
        {"unit 0", "host=10.0.0.1;unit=0", "10.0.0.1:502 unit 0"},
        {"a zero-padded octet", "host=192.168.1.010",
         "refused: “host=192.168.1.010”：“192.168.1.010”里的“010”有前导零"},
        {"zero-padded, alone", "010.0.0.1:502", "refused: “010.0.0.1:502”：“010.0.0.1”里的“010”"},
        {"a host name", "host=plc.lan", "refused: “host=plc.lan”：“plc.lan”不是 IPv4 地址"},
        {"a name, alone", "plc:502", "refused: “plc:502”：“plc”不是 IPv4 地址"},
        {"an octet of 256", "host=10.0.0.256", "refused: “host=10.0.0.256”：“10.0.0.256”不是"},
        {"a reserved unit", "host=10.0.0.1;unit=248",
         "refused: “unit=248”：应为 0 到 247 的整数，或 255"},
        {"the last reserved unit", "host=10.0.0.1;unit=254", "refused: “unit=254”"},
        {"a unit too far", "host=10.0.0.1;unit=256", "refused: “unit=256”"},
        {"coils past 65535", "host=10.0.0.1;coils=65530",
         "refused: “coils=65530”：128 条线的地址超出 65535"},
        {"coils to 65535 exactly", "host=10.0.0.1;coils=65528;lines=8",
         "10.0.0.1:502 unit 1 coils 65528 lines 8"},
        {"inputs past 65535", "host=10.0.0.1;inputs=65409", "refused: “inputs=65409”：128 条线"},
        {"registers past 65535", "host=10.0.0.1;registers=65535;lines=16",
         "refused: “registers=65535”：16 条线"},
        {"registers to 65535 exactly", "host=10.0.0.1;registers=65534;lines=16",
         "10.0.0.1:502 unit 1"},
        {"port 0", "10.0.0.1:0", "refused: “10.0.0.1:0”：应为 1 到 65535"},
        {"lines not of eights", "host=10.0.0.1;lines=12", "refused: “lines=12”：应为 8 的倍数"},
        {"a caption", "host=10.0.0.1;caption=51 8 0",
         "10.0.0.1:502 unit 1 coils 0 lines 128 timeout 100 caption 0"},
        {"a fourth caption number", "host=10.0.0.1;caption=51 8 1 2",
         "refused: “caption=51 8 1 2”"},
        {"no host", "port=502", "refused: 缺少 host"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(readAs(row.text).substr(0, std::string(row.readsAs).size()), row.readsAs)
            << row.what;
}

TEST(ModbusSettings, CaptionNumbersComeFromThePanelsCaptionAlone) {
    EXPECT_EQ(rules::boardNumbers("卡名：ZAN 51 8类型： 1"), (std::array<int, 3>{51, 8, 1}));
    EXPECT_EQ(rules::boardNumbers("卡名：ZAN 51 8类型： 0"), (std::array<int, 3>{51, 8, 0}));
    EXPECT_EQ(rules::boardNumbers("卡名：ZAN 51类型： 1"), std::nullopt);
    EXPECT_EQ(rules::boardNumbers("类型： 1 卡名：ZAN 51 8"), std::nullopt);
}

} // namespace
