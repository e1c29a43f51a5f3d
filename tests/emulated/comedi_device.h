#pragma once
// A comedi digital I/O board, as the kernel's comedi core answers for it:
//   subdevice 0  an analog input (what a board has beside its digital lines)
//   di-do        1: digital inputs, 2: digital outputs, `lines` channels each
//   dio          1: one digital I/O subdevice of 2 x `lines` channels, all
//                inputs at first: channels 0.. wired to channels `lines`..
// Output channel c is wired back to input channel c through the loopback.

#include "emulated/emulated_device.h"
#include "emulated/loopback.h"

#include <optional>
#include <vector>

namespace emulated {

struct ComediOptions {
    bool dio = false;               // the dio layout
    int lines = 128;                // wired lines
    bool query = true;              // the driver answers INSN_CONFIG_DIO_QUERY
    int minor = 0;                  // /dev/comedi<minor>
    int number = 0;                 // the node's minor device number, which names the card
    std::optional<int> vanishAfter; // instructions answered before it goes away
    std::string faults;
};

class ComediDevice : public EmulatedDevice {
public:
    explicit ComediDevice(const ComediOptions& options);
    std::string record() const override;
    std::string node() const override;
    void ioctl(UMockdevIoctlClient* client) override;
    std::string state() const override;

private:
    struct Subdevice {
        unsigned type;
        int channels;
    };
    // One instruction: the samples it gives back, or an errno.
    int instruction(unsigned char* insn, unsigned* data, unsigned n);
    int bits(int subdevice, unsigned base, unsigned* data);
    int config(int subdevice, unsigned channel, unsigned* data, unsigned n);
    // The loopback line a subdevice's channel is, and whether it is an output.
    std::optional<std::pair<int, bool>> line(int subdevice, int channel) const;
    bool channelValue(int subdevice, int channel);

    ComediOptions options_;
    std::vector<Subdevice> subdevices_;
    std::vector<bool> outputDirection_; // the dio layout's channels
    Loopback loopback_;
    std::array<bool, simcard::kLines> latched_{}; // inputs, read once an instruction
    int answered_ = 0;
};

} // namespace emulated
