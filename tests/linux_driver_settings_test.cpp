// The comedi and GPIO drivers' settings as they read, or the refusal naming
// the setting: the channels and lines driven are exactly the ones configured.
#include "comedicard/settings.h"
#include "gpiocard/settings.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

std::string list(const std::vector<int>& channels) {
    std::ostringstream out;
    for (std::size_t i = 0; i < channels.size(); ++i)
        out << (i ? "," : "") << channels[i];
    return out.str();
}

std::string comediAs(const std::string& text) {
    std::string why;
    const auto read = comedicard::parseSettings(text, why);
    if (!read)
        return "refused: " + why;
    return read->device + " in " + (read->inputs ? std::to_string(*read->inputs) : "?") + " out " +
           (read->outputs ? std::to_string(*read->outputs) : "?") + " lines " +
           (read->lines ? std::to_string(*read->lines) : "?") + " [" + list(read->inputChannels) +
           "] [" + list(read->outputChannels) + "] settle " + std::to_string(read->settlingMs) +
           " caption " + std::to_string(read->caption[0]);
}

std::string gpioAs(const std::string& text) {
    std::string why;
    const auto read = gpiocard::parseSettings(text, why);
    if (!read)
        return "refused: " + why;
    std::string lines;
    for (const auto* side : {&read->outputs, &read->inputs}) {
        lines += " [";
        for (std::size_t i = 0; i < side->size() && i < 9; ++i)
            lines += (i ? "," : "") + (std::holds_alternative<unsigned>((*side)[i])
                                           ? std::to_string(std::get<unsigned>((*side)[i]))
                                           : std::get<std::string>((*side)[i]));
        lines += side->size() > 9 ? ",… " + std::to_string(side->size()) + "]" : "]";
    }
    return read->chip + lines + " bias " + std::to_string(static_cast<int>(read->bias));
}

struct Row {
    const char* what;
    const char* text;
    const char* readsAs; // or the start of the refusal
};

void check(const Row& row, const std::string& read) {
    EXPECT_EQ(read.substr(0, std::string(row.readsAs).size()), row.readsAs)
        << row.what << ": " << read;
}

TEST(LinuxDriverSettings, ComediReadAsConfiguredOrRefusedNamingTheSetting) {
    const Row rows[] = {
        {"nothing: every default", "", "/dev/comedi0 in ? out ? lines ? [] [] settle 0 caption 0"},
        {"a file's lines", "# board\ndevice = /dev/comedi3\ninputs = 0\noutputs = 1 # DO\n",
         "/dev/comedi3 in 0 out 1 lines ?"},
        {"channels in order, lines from them",
         "input-channels=16-23,0-7;output-channels=8-15,24-31",
         "/dev/comedi0 in ? out ? lines 16 [16,17,18,19,20,21,22,23,0,1,2,3,4,5,6,7] "
         "[8,9,10,11,12,13,14,15,24,25,26,27,28,29,30,31]"},
        {"settling in ms", "settling=5ms;caption=51 8 1",
         "/dev/comedi0 in ? out ? lines ? [] [] settle 5 caption 51"},
        {"a relative device", "device=comedi0", "refused: “device=comedi0”：应为设备的绝对路径"},
        {"a channel twice", "input-channels=0-7,7",
         "refused: “input-channels=0-7,7”：应为不重复的"},
        {"a backwards range", "output-channels=7-0", "refused: “output-channels=7-0”"},
        {"more than 128", "output-channels=0-128", "refused: “output-channels=0-128”"},
        {"a channel past 65535", "output-channels=65536", "refused: “output-channels=65536”"},
        {"lines not a multiple of 8", "lines=12",
         "refused: “lines=12”：应为 8 到 128 之间 8 的倍数"},
        {"channels not a multiple of 8", "input-channels=0-6", "refused: 通道数应为 8 的倍数"},
        {"lines against the channels", "lines=16;output-channels=0-7",
         "refused: lines = 16，而通道有 8 个"},
        {"inputs and outputs of different counts", "input-channels=0-15;output-channels=16-23",
         "refused: input-channels 有 16 个通道，output-channels 有 8 个：应一样多"},
        {"one list sets the lines", "input-channels=0-7;lines=8",
         "/dev/comedi0 in ? out ? lines 8"},
        {"a subdevice past 255", "inputs=256", "refused: “inputs=256”：应为子设备号 0 到 255"},
        {"a caption of two numbers", "caption=51 8", "refused: “caption=51 8”"},
        {"an unknown setting", "host=10.0.0.1", "refused: “host=10.0.0.1”：不认识的设置"},
        {"no equals sign", "device", "refused: “device”：应为“设置 = 值”"},
    };
    for (const Row& row : rows)
        check(row, comediAs(row.text));
}

TEST(LinuxDriverSettings, GpioReadAsConfiguredOrRefusedNamingTheSetting) {
    const Row rows[] = {
        {"offsets and ranges", "chip=gpiochip0;outputs=0-7;inputs=12,8-11,13-15",
         "gpiochip0 [0,1,2,3,4,5,6,7] [12,8,9,10,11,13,14,15] bias 0"},
        {"names, a label, a bias",
         "chip=jig 7;outputs=K1,K2,K3,K4,K5,K6,K7,K8;inputs=16-23;bias=pull-down",
         "jig 7 [K1,K2,K3,K4,K5,K6,K7,K8] [16,17,18,19,20,21,22,23] bias 2"},
        {"128 lines each", "chip=/dev/gpiochip1;outputs=0-127;inputs=128-255",
         "/dev/gpiochip1 [0,1,2,3,4,5,6,7,8,… 128] [128,129,130,131,132,133,134,135,136,… 128]"},
        {"no chip", "outputs=0-7;inputs=8-15", "refused: 缺少 chip"},
        {"no inputs", "chip=gpiochip0;outputs=0-7", "refused: 缺少 outputs 或 inputs"},
        {"different counts", "chip=gpiochip0;outputs=0-7;inputs=8-23",
         "refused: outputs 与 inputs 应一样多"},
        {"not a multiple of 8", "chip=gpiochip0;outputs=0-3;inputs=4-7",
         "refused: outputs 与 inputs 应一样多，为 8 的倍数"},
        {"a line both ways", "chip=gpiochip0;outputs=0-7;inputs=7-14",
         "refused: 一条线不能既作输出又作输入"},
        {"a name both ways",
         "chip=gpiochip0;outputs=K1,1,2,3,4,5,6,7;inputs=K1,9,10,11,12,13,14,15",
         "refused: 一条线不能既作输出又作输入"},
        {"a line twice", "chip=gpiochip0;outputs=0-7,3;inputs=8-16", "refused: “outputs=0-7,3”"},
        {"an empty item", "chip=gpiochip0;outputs=0-6,,7;inputs=8-15", "refused: “outputs=0-6,,7”"},
        {"more than 128", "chip=gpiochip0;outputs=0-128;inputs=200-328",
         "refused: “outputs=0-128”"},
        {"an unknown bias", "chip=gpiochip0;outputs=0-7;inputs=8-15;bias=up", "refused: “bias=up”"},
    };
    for (const Row& row : rows)
        check(row, gpioAs(row.text));
}

} // namespace
