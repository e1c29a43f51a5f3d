#include "emulated/comedi_device.h"

#include <sys/ioctl.h> // before comedi.h, which uses its macros

#include <comedi.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <sys/time.h>

namespace emulated {
namespace {

constexpr unsigned kVersion = (0 << 16) | (7 << 8) | 76; // 0.7.76
constexpr int kAnalogChannels = 8;

template <typename T> T* as(unsigned char* bytes) {
    return reinterpret_cast<T*>(bytes); // the client's buffer, laid out as the kernel's structure
}

} // namespace

ComediDevice::ComediDevice(const ComediOptions& options)
    : options_(options), loopback_(options.faults) {
    subdevices_.push_back({COMEDI_SUBD_AI, kAnalogChannels});
    if (options_.dio) {
        subdevices_.push_back({COMEDI_SUBD_DIO, 2 * options_.lines});
        outputDirection_.assign(2 * options_.lines, false);
    } else {
        subdevices_.push_back({COMEDI_SUBD_DI, options_.lines});
        subdevices_.push_back({COMEDI_SUBD_DO, options_.lines});
        for (int line = 0; line < options_.lines; ++line)
            loopback_.hold(line);
    }
}

std::string ComediDevice::node() const {
    return "/dev/comedi" + std::to_string(options_.minor);
}

std::string ComediDevice::record() const {
    const std::string name = "comedi" + std::to_string(options_.minor);
    const std::string number = "98:" + std::to_string(options_.number);
    return "P: /devices/virtual/comedi/" + name + "\nN: " + name + "\nE: DEVNAME=" + node() +
           "\nE: SUBSYSTEM=comedi\nE: MAJOR=98\nE: MINOR=" + std::to_string(options_.number) +
           "\nA: dev=" + number + "\\n\n";
}

std::optional<std::pair<int, bool>> ComediDevice::line(int subdevice, int channel) const {
    if (options_.dio && subdevice == 1)
        return channel < options_.lines ? std::make_pair(channel, true)
                                        : std::make_pair(channel - options_.lines, false);
    if (!options_.dio && (subdevice == 1 || subdevice == 2))
        return std::make_pair(channel, subdevice == 2);
    return std::nullopt;
}

bool ComediDevice::channelValue(int subdevice, int channel) {
    const auto wired = line(subdevice, channel);
    if (!wired)
        return false;
    const bool output = options_.dio ? outputDirection_[channel] : wired->second;
    if (output)
        return wired->second && loopback_.output(wired->first);
    return !wired->second ? latched_[wired->first] : true; // an unwired input floats high
}

int ComediDevice::bits(int subdevice, unsigned base, unsigned* data) {
    const Subdevice& s = subdevices_[subdevice];
    for (int bit = 0; bit < 32 && static_cast<int>(base) + bit < s.channels; ++bit) {
        const int channel = static_cast<int>(base) + bit;
        const auto wired = line(subdevice, channel);
        const bool output = options_.dio ? outputDirection_[channel] : wired && wired->second;
        if ((data[0] >> bit & 1U) != 0 && output && wired && wired->second)
            loopback_.drive(wired->first, (data[1] >> bit & 1U) != 0);
    }
    latched_ = loopback_.inputs();
    unsigned value = 0;
    for (int bit = 0; bit < 32 && static_cast<int>(base) + bit < s.channels; ++bit)
        value |= static_cast<unsigned>(channelValue(subdevice, static_cast<int>(base) + bit))
                 << bit;
    data[1] = value;
    return 2;
}

int ComediDevice::config(int subdevice, unsigned channel, unsigned* data, unsigned n) {
    if (subdevices_[subdevice].type != COMEDI_SUBD_DIO || n < 1 ||
        static_cast<int>(channel) >= subdevices_[subdevice].channels)
        return -EINVAL;
    switch (data[0]) {
    case INSN_CONFIG_DIO_INPUT:
    case INSN_CONFIG_DIO_OUTPUT: {
        const bool output = data[0] == INSN_CONFIG_DIO_OUTPUT;
        outputDirection_[channel] = output;
        if (const auto wired = line(subdevice, static_cast<int>(channel)); wired && wired->second) {
            if (output)
                loopback_.hold(wired->first);
            else
                loopback_.release(wired->first);
        }
        return static_cast<int>(n);
    }
    case INSN_CONFIG_DIO_QUERY:
        if (!options_.query || n < 2)
            return -EINVAL;
        data[1] = outputDirection_[channel] ? COMEDI_OUTPUT : COMEDI_INPUT;
        return static_cast<int>(n);
    default:
        return -EINVAL;
    }
}

int ComediDevice::instruction(unsigned char* bytes, unsigned* data, unsigned n) {
    const comedi_insn& insn = *as<comedi_insn>(bytes);
    if (options_.vanishAfter && answered_ >= *options_.vanishAfter)
        return -ENODEV;
    ++answered_;
    if (insn.insn == INSN_GTOD) {
        if (n != 2)
            return -EINVAL;
        timeval now{};
        gettimeofday(&now, nullptr);
        data[0] = static_cast<unsigned>(now.tv_sec);
        data[1] = static_cast<unsigned>(now.tv_usec);
        return 2;
    }
    if (insn.subdev >= subdevices_.size())
        return -EINVAL;
    const int subdevice = static_cast<int>(insn.subdev);
    const unsigned channel = CR_CHAN(insn.chanspec);
    const bool digital = subdevices_[subdevice].type != COMEDI_SUBD_AI;
    switch (insn.insn) {
    case INSN_BITS:
        if (n != 2 || !digital)
            return -EINVAL;
        return bits(subdevice, subdevices_[subdevice].channels > 32 ? channel : 0, data);
    case INSN_CONFIG:
        return config(subdevice, channel, data, n);
    case INSN_READ:
    case INSN_WRITE:
        if (static_cast<int>(channel) >= subdevices_[subdevice].channels)
            return -EINVAL;
        for (unsigned i = 0; i < n; ++i) {
            if (!digital) {
                data[i] = 2048;
                continue;
            }
            unsigned word[2] = {insn.insn == INSN_WRITE ? 1U : 0U, data[i] & 1U};
            bits(subdevice, channel, word);
            data[i] = word[1] & 1U;
        }
        return static_cast<int>(n);
    default:
        return -EINVAL;
    }
}

void ComediDevice::ioctl(UMockdevIoctlClient* client) {
    Buffers buffers(client);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    const bool gone = options_.vanishAfter && answered_ >= *options_.vanishAfter;
    if (gone)
        return buffers.complete(-1, ENODEV);
    switch (request) {
    case COMEDI_DEVINFO: {
        auto* info = as<comedi_devinfo>(buffers.argument(sizeof(comedi_devinfo)));
        if (!info)
            return buffers.complete(-1, EFAULT);
        std::memset(info, 0, sizeof *info);
        info->version_code = kVersion;
        info->n_subdevs = static_cast<unsigned>(subdevices_.size());
        std::strncpy(info->driver_name, "emulated_dio", COMEDI_NAMELEN - 1);
        std::strncpy(info->board_name, options_.dio ? "loopback dio" : "loopback di-do",
                     COMEDI_NAMELEN - 1);
        info->read_subdevice = -1;
        info->write_subdevice = -1;
        return buffers.complete(0, 0);
    }
    case COMEDI_SUBDINFO: {
        auto* info =
            as<comedi_subdinfo>(buffers.argument(subdevices_.size() * sizeof(comedi_subdinfo)));
        if (!info)
            return buffers.complete(-1, EFAULT);
        for (std::size_t i = 0; i < subdevices_.size(); ++i) {
            comedi_subdinfo& s = info[i];
            std::memset(&s, 0, sizeof s);
            s.type = subdevices_[i].type;
            s.n_chan = static_cast<unsigned>(subdevices_[i].channels);
            const bool analog = s.type == COMEDI_SUBD_AI;
            s.subd_flags = SDF_READABLE | (s.type == COMEDI_SUBD_DI ? 0
                                           : analog                 ? 0
                                                                    : SDF_WRITABLE);
            s.maxdata = analog ? 4095 : 1;
            s.range_type = (static_cast<unsigned>(options_.minor) << 28) | (i << 24) | 1;
            s.insn_bits_support = analog ? COMEDI_UNKNOWN_SUPPORT : COMEDI_SUPPORTED;
        }
        return buffers.complete(0, 0);
    }
    case COMEDI_RANGEINFO: {
        unsigned char* arg = buffers.argument(sizeof(comedi_rangeinfo));
        if (!arg)
            return buffers.complete(-1, EFAULT);
        const unsigned type = as<comedi_rangeinfo>(arg)->range_type;
        const unsigned subdevice = (type >> 24) & 0xf;
        auto* range = as<comedi_krange>(
            buffers.pointee(arg, offsetof(comedi_rangeinfo, range_ptr), sizeof(comedi_krange)));
        if (!range || subdevice >= subdevices_.size() || RANGE_LENGTH(type) != 1)
            return buffers.complete(-1, range ? EINVAL : EFAULT);
        const bool analog = subdevices_[subdevice].type == COMEDI_SUBD_AI;
        *range = analog ? comedi_krange{-10000000, 10000000, UNIT_volt}
                        : comedi_krange{0, 1000000, UNIT_none};
        return buffers.complete(0, 0);
    }
    case COMEDI_CHANINFO: // asked only where a subdevice's channels differ: none here
        return buffers.complete(0, 0);
    case COMEDI_LOCK:
    case COMEDI_UNLOCK:
        return buffers.complete(0, 0);
    case COMEDI_INSN: {
        unsigned char* insn = buffers.argument(sizeof(comedi_insn));
        if (!insn)
            return buffers.complete(-1, EFAULT);
        const unsigned n = as<comedi_insn>(insn)->n;
        auto* data = as<unsigned>(
            buffers.pointee(insn, offsetof(comedi_insn, data), std::max(1U, n) * sizeof(unsigned)));
        if (!data || n > 256)
            return buffers.complete(-1, data ? EINVAL : EFAULT);
        const int result = instruction(insn, data, n);
        return result < 0 ? buffers.complete(-1, -result) : buffers.complete(result, 0);
    }
    case COMEDI_INSNLIST: {
        unsigned char* list = buffers.argument(sizeof(comedi_insnlist));
        if (!list)
            return buffers.complete(-1, EFAULT);
        const unsigned count = as<comedi_insnlist>(list)->n_insns;
        unsigned char* insns = count == 0 || count > 64
                                   ? nullptr
                                   : buffers.pointee(list, offsetof(comedi_insnlist, insns),
                                                     count * sizeof(comedi_insn));
        if (!insns)
            return buffers.complete(-1, count > 64 ? EINVAL : EFAULT);
        for (unsigned i = 0; i < count; ++i) {
            unsigned char* insn = insns + i * sizeof(comedi_insn);
            const unsigned n = as<comedi_insn>(insn)->n;
            auto* data = as<unsigned>(
                buffers.pointee(insns, i * sizeof(comedi_insn) + offsetof(comedi_insn, data),
                                std::max(1U, n) * sizeof(unsigned)));
            const int result = data && n <= 256 ? instruction(insn, data, n) : -EFAULT;
            if (result < 0)
                return buffers.complete(-1, -result);
        }
        return buffers.complete(count, 0);
    }
    default:
        return buffers.complete(-1, ENOTTY);
    }
}

std::string ComediDevice::state() const {
    std::ostringstream out;
    if (options_.dio) {
        out << "directions: ";
        for (bool output : outputDirection_)
            out << (output ? 'o' : 'i');
        out << "\n";
    }
    out << "outputs: ";
    for (int line = 0; line < options_.lines; ++line)
        out << (loopback_.driven(line) && loopback_.output(line) ? '1' : '0');
    out << "\ninstructions: " << answered_ << "\n";
    return out.str();
}

} // namespace emulated
