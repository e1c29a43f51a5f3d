#include "emulated/gpio_device.h"

#include <linux/gpio.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace emulated {
namespace {

constexpr int kFirstHandle = 1000; // what a request answers as its handle's file

void copyName(char* to, const std::string& from) {
    std::strncpy(to, from.c_str(), GPIO_MAX_NAME_SIZE - 1);
    to[GPIO_MAX_NAME_SIZE - 1] = '\0';
}

} // namespace

GpioDevice::GpioDevice(const GpioOptions& options)
    : options_(options), lines_(static_cast<std::size_t>(2 * options.lines)),
      loopback_(options.faults) {
    for (const auto& [line, consumer] : options_.held)
        if (line >= 0 && line < 2 * options_.lines)
            lines_[static_cast<std::size_t>(line)].consumer = consumer;
}

std::string GpioDevice::node() const {
    return "/dev/gpiochip" + std::to_string(options_.chip);
}

std::string GpioDevice::record() const {
    const std::string name = "gpiochip" + std::to_string(options_.chip);
    return "P: /devices/platform/emulated-gpio/" + name + "\nN: " + name +
           "\nE: DEVNAME=" + node() +
           "\nE: SUBSYSTEM=gpio\nE: MAJOR=254\nE: MINOR=" + std::to_string(options_.number) +
           "\nA: dev=254:" + std::to_string(options_.number) + "\\n\n";
}

void GpioDevice::prepare(const std::string& root) {
    const std::string bus = root + "/sys/bus/gpio/devices";
    g_mkdir_with_parents(bus.c_str(), 0755);
    const std::string name = "gpiochip" + std::to_string(options_.chip);
    if (symlink(("../../../devices/platform/emulated-gpio/" + name).c_str(),
                (bus + "/" + name).c_str()) != 0 &&
        errno != EEXIST)
        throw std::runtime_error("cannot link " + bus + "/" + name);
}

int GpioDevice::requestLines(unsigned char* argument) {
    auto& asked = *reinterpret_cast<gpiohandle_request*>(argument);
    const bool output = (asked.flags & GPIOHANDLE_REQUEST_OUTPUT) != 0;
    if (asked.lines == 0 || asked.lines > GPIOHANDLES_MAX ||
        output == ((asked.flags & GPIOHANDLE_REQUEST_INPUT) != 0))
        return -EINVAL;
    Handle handle{{}, output, asked.flags};
    for (unsigned i = 0; i < asked.lines; ++i) {
        const auto line = static_cast<int>(asked.lineoffsets[i]);
        if (line >= 2 * options_.lines)
            return -EINVAL;
        const Line& now = lines_[static_cast<std::size_t>(line)];
        if (now.requested || !now.consumer.empty())
            return -EBUSY;
        handle.lines.push_back(line);
    }
    for (std::size_t i = 0; i < handle.lines.size(); ++i) {
        const int line = handle.lines[i];
        Line& now = lines_[static_cast<std::size_t>(line)];
        now = {true, output, asked.flags, asked.consumer_label[0] ? asked.consumer_label : "?"};
        now.consumer.resize(std::min<std::size_t>(now.consumer.size(), GPIO_MAX_NAME_SIZE - 1));
        if (output && line < options_.lines) {
            loopback_.hold(line);
            loopback_.drive(line, asked.default_values[i] != 0);
        }
    }
    handles_.push_back(handle);
    asked.fd = kFirstHandle + static_cast<int>(handles_.size()) - 1;
    return 0;
}

int GpioDevice::values(UMockdevIoctlClient* client, unsigned long request,
                       unsigned char* argument) {
    const auto bound = bound_.find(client);
    if (bound == bound_.end())
        return -ENOTTY; // a value request on the chip itself
    Handle& handle = handles_[static_cast<std::size_t>(bound->second)];
    auto& data = *reinterpret_cast<gpiohandle_data*>(argument);
    if (request == GPIOHANDLE_SET_LINE_VALUES_IOCTL) {
        if (!handle.output)
            return -EPERM;
        for (std::size_t i = 0; i < handle.lines.size(); ++i)
            if (handle.lines[i] < options_.lines)
                loopback_.drive(handle.lines[i], data.values[i] != 0);
        return 0;
    }
    const auto inputs = loopback_.inputs();
    for (std::size_t i = 0; i < handle.lines.size(); ++i) {
        const int line = handle.lines[i];
        data.values[i] = line < options_.lines
                             ? loopback_.output(line)
                             : inputs[static_cast<std::size_t>(line - options_.lines)];
    }
    return 0;
}

void GpioDevice::ioctl(UMockdevIoctlClient* client) {
    Buffers buffers(client);
    const unsigned long request = umockdev_ioctl_client_get_request(client);
    if (options_.vanishAfter && answered_ >= *options_.vanishAfter)
        return buffers.complete(-1, ENODEV);
    ++answered_;
    switch (request) {
    case GPIO_GET_CHIPINFO_IOCTL: {
        auto* info = reinterpret_cast<gpiochip_info*>(buffers.argument(sizeof(gpiochip_info)));
        if (!info)
            return buffers.complete(-1, EFAULT);
        copyName(info->name, "gpiochip" + std::to_string(options_.chip));
        copyName(info->label, options_.label);
        info->lines = static_cast<unsigned>(lines_.size());
        return buffers.complete(0, 0);
    }
    case GPIO_GET_LINEINFO_IOCTL: {
        auto* info = reinterpret_cast<gpioline_info*>(buffers.argument(sizeof(gpioline_info)));
        if (!info || info->line_offset >= lines_.size())
            return buffers.complete(-1, info ? EINVAL : EFAULT);
        const int line = static_cast<int>(info->line_offset);
        const Line& now = lines_[info->line_offset];
        info->flags = (now.requested || !now.consumer.empty() ? GPIOLINE_FLAG_KERNEL : 0) |
                      (now.output ? GPIOLINE_FLAG_IS_OUT : 0);
        copyName(info->name, line < options_.lines
                                 ? "OUT" + std::to_string(line + 1)
                                 : "IN" + std::to_string(line - options_.lines + 1));
        copyName(info->consumer, now.consumer);
        return buffers.complete(0, 0);
    }
    case GPIO_GET_LINEHANDLE_IOCTL: {
        unsigned char* asked = buffers.argument(sizeof(gpiohandle_request));
        const int result = asked ? requestLines(asked) : -EFAULT;
        return result < 0 ? buffers.complete(-1, -result) : buffers.complete(0, 0);
    }
    case kBindHandle: {
        auto* number = reinterpret_cast<int*>(buffers.argument(sizeof(int)));
        const int handle = number ? *number - kFirstHandle : -1;
        if (handle < 0 || handle >= static_cast<int>(handles_.size()))
            return buffers.complete(-1, EINVAL);
        bound_[client] = handle;
        return buffers.complete(0, 0);
    }
    case kCloseHandle:
        vanished(client);
        return buffers.complete(0, 0);
    case GPIOHANDLE_GET_LINE_VALUES_IOCTL:
    case GPIOHANDLE_SET_LINE_VALUES_IOCTL: {
        unsigned char* data = buffers.argument(sizeof(gpiohandle_data));
        const int result = data ? values(client, request, data) : -EFAULT;
        return result < 0 ? buffers.complete(-1, -result) : buffers.complete(0, 0);
    }
    default:
        return buffers.complete(-1, ENOTTY);
    }
}

void GpioDevice::vanished(UMockdevIoctlClient* client) {
    const auto bound = bound_.find(client);
    if (bound == bound_.end())
        return;
    Handle& handle = handles_[static_cast<std::size_t>(bound->second)];
    for (int line : handle.lines) {
        Line& now = lines_[static_cast<std::size_t>(line)];
        now.requested = false;
        now.consumer.clear();
    }
    handle.open = false;
    bound_.erase(bound);
}

std::string GpioDevice::state() const {
    std::ostringstream out;
    out << "outputs: ";
    for (int line = 0; line < options_.lines; ++line)
        out << (loopback_.driven(line) && loopback_.output(line) ? '1' : '0');
    out << "\ninput flags: ";
    for (int line = options_.lines; line < 2 * options_.lines; ++line)
        out << lines_[static_cast<std::size_t>(line)].flags << ' ';
    out << "\nrequests: " << answered_ << "\n";
    return out.str();
}

} // namespace emulated
