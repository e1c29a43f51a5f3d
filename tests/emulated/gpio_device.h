#pragma once
// A GPIO chip, as the kernel's GPIO character device answers for it (its
// first interface, which libgpiod 1.6 speaks): 2 x `lines` lines, named
// OUT1.. and IN1.., line k wired to line `lines` + k through the loopback.
// Each line request's handle is a file of its own from the kernel, which
// umockdev cannot give: gpio_preload.cpp opens the node again for it and binds
// that connection to the handle with kBindHandle.

#include "emulated/emulated_device.h"
#include "emulated/gpio_bind.h"
#include "emulated/loopback.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace emulated {

struct GpioOptions {
    int lines = 128;
    int chip = 0;   // /dev/gpiochip<chip>
    int number = 0; // the node's minor device number, which names the chip
    std::string label = "emulated-loopback";
    std::map<int, std::string> held; // lines another program holds, and its name
    std::optional<int> vanishAfter;  // requests answered before it goes away
    std::string faults;
};

class GpioDevice : public EmulatedDevice {
public:
    explicit GpioDevice(const GpioOptions& options);
    std::string record() const override;
    std::string node() const override;
    // The chip on the GPIO bus too, where libgpiod looks for its number.
    void prepare(const std::string& root) override;
    void ioctl(UMockdevIoctlClient* client) override;
    // A handle's connection closed: its lines freed, left as driven.
    void vanished(UMockdevIoctlClient* client) override;
    std::string state() const override;

private:
    struct Handle {
        std::vector<int> lines;
        bool output;
        unsigned flags;
        bool open = true;
    };
    struct Line {
        bool requested = false;
        bool output = false;
        unsigned flags = 0;
        std::string consumer;
    };
    int requestLines(unsigned char* argument);
    int values(UMockdevIoctlClient* client, unsigned long request, unsigned char* argument);

    GpioOptions options_;
    std::vector<Line> lines_;
    std::vector<Handle> handles_;
    std::map<UMockdevIoctlClient*, int> bound_;
    Loopback loopback_;
    int answered_ = 0;
};

} // namespace emulated
