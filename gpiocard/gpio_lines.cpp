#include "gpiocard/gpio_lines.h"

#include "driver/driver_settings.h"

#include <gpiod.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <sys/stat.h>

namespace gpiocard {
namespace {

std::string errorText(int error) {
    return std::strerror(error);
}

// The chip's node from its path, name ("gpiochip0") or label; opened.
gpiod_chip* openChip(const std::string& chip, std::string& path) {
    const bool name = chip.size() > 8 && chip.rfind("gpiochip", 0) == 0 &&
                      chip.find_first_not_of("0123456789", 8) == std::string::npos;
    if (chip[0] == '/' || name) {
        path = chip[0] == '/' ? chip : "/dev/" + chip;
        gpiod_chip* opened = gpiod_chip_open(path.c_str());
        const int error = errno;
        if (opened)
            return opened;
        if (error == ENOENT)
            throw GpioError("没有 GPIO 芯片 " + path);
        if (error == EACCES || error == EPERM)
            throw GpioError("无权打开 " + path + "：" + errorText(error) +
                            "（Debian 12 的 GPIO 芯片只归 root：README 的“A card on "
                            "Linux”说怎样让别的用户用）");
        throw GpioError("打不开 GPIO 芯片 " + path + "：" + errorText(error));
    }
    // By label: libgpiod's own search reads /dev itself; each node is opened here.
    for (int number = 0; number < 64; ++number) {
        const std::string candidate = "/dev/gpiochip" + std::to_string(number);
        struct stat node {};
        if (stat(candidate.c_str(), &node) != 0)
            continue;
        gpiod_chip* opened = gpiod_chip_open(candidate.c_str());
        if (opened && chip == gpiod_chip_label(opened)) {
            path = candidate;
            return opened;
        }
        if (opened)
            gpiod_chip_close(opened);
    }
    throw GpioError("没有标签为“" + chip + "”的 GPIO 芯片");
}

int biasFlag(Bias bias) {
    switch (bias) {
    case Bias::PullUp:
        return GPIOD_LINE_REQUEST_FLAG_BIAS_PULL_UP;
    case Bias::PullDown:
        return GPIOD_LINE_REQUEST_FLAG_BIAS_PULL_DOWN;
    case Bias::Disabled:
        return GPIOD_LINE_REQUEST_FLAG_BIAS_DISABLE;
    case Bias::AsIs:
        break;
    }
    return 0;
}

std::string nameOf(const LineName& line) {
    return std::holds_alternative<unsigned>(line) ? "线 " + std::to_string(std::get<unsigned>(line))
                                                  : "线“" + std::get<std::string>(line) + "”";
}

} // namespace

struct GpioLines::Requested {
    gpiod_chip* chip = nullptr;
    std::vector<gpiod_line_bulk> outputs, inputs; // GPIOD_LINE_BULK_MAX_LINES each
    std::vector<int> values;                      // the outputs as last set
    std::map<unsigned, std::string> taken;        // each line's offset, as the settings named it

    ~Requested() {
        for (gpiod_line_bulk& bulk : outputs) {
            // Back at 0 before the kernel is given them: it leaves a freed line as driven.
            std::vector<int> zeros(bulk.num_lines, 0);
            gpiod_line_set_value_bulk(&bulk, zeros.data());
            gpiod_line_release_bulk(&bulk);
        }
        for (gpiod_line_bulk& bulk : inputs)
            gpiod_line_release_bulk(&bulk);
        if (chip)
            gpiod_chip_close(chip);
    }

    // The lines, looked up and requested in bulks; throws naming the first
    // that cannot be had.
    void request(const std::vector<LineName>& names, bool output, int flags, const char* consumer) {
        std::vector<gpiod_line*> lines;
        for (const LineName& name : names) {
            gpiod_line* line =
                std::holds_alternative<unsigned>(name)
                    ? gpiod_chip_get_line(chip, std::get<unsigned>(name))
                    : gpiod_chip_find_line(chip, std::get<std::string>(name).c_str());
            if (!line)
                throw GpioError("GPIO 芯片上没有" + nameOf(name) + "（共 " +
                                std::to_string(gpiod_chip_num_lines(chip)) + " 条）");
            // A name and a number may be one line: the settings could not tell.
            const auto [before, added] = taken.emplace(gpiod_line_offset(line), nameOf(name));
            if (!added)
                throw GpioError(nameOf(name) + "与" + before->second + " 是同一条线（线 " +
                                std::to_string(before->first) + "）：每条线只能用一次");
            lines.push_back(line);
        }
        for (std::size_t first = 0; first < lines.size(); first += GPIOD_LINE_BULK_MAX_LINES) {
            gpiod_line_bulk bulk;
            gpiod_line_bulk_init(&bulk);
            const std::size_t last = std::min(lines.size(), first + GPIOD_LINE_BULK_MAX_LINES);
            for (std::size_t i = first; i < last; ++i)
                gpiod_line_bulk_add(&bulk, lines[i]);
            std::vector<int> zeros(bulk.num_lines, 0);
            const int result =
                output ? gpiod_line_request_bulk_output_flags(&bulk, consumer, flags, zeros.data())
                       : gpiod_line_request_bulk_input_flags(&bulk, consumer, flags);
            if (result != 0) {
                const int error = errno;
                for (std::size_t i = first; i < last; ++i) {
                    gpiod_line_update(lines[i]);
                    if (gpiod_line_is_used(lines[i]))
                        throw GpioError(nameOf(names[i]) + " 已被“" +
                                        (gpiod_line_consumer(lines[i])
                                             ? gpiod_line_consumer(lines[i])
                                             : "内核") +
                                        "”占用");
                }
                throw GpioError("要不到 GPIO 线：" + errorText(error), error == ENODEV);
            }
            (output ? outputs : inputs).push_back(bulk); // released with this, whatever follows
        }
    }
};

GpioLines::GpioLines(const Settings& settings, const char* consumer)
    : requested_(std::make_unique<Requested>()) {
    requested_->chip = openChip(settings.chip, path_);
    id_ = driver::nodeId("gpio", path_);
    requested_->request(settings.outputs, true, 0, consumer);
    requested_->request(settings.inputs, false, biasFlag(settings.bias), consumer);
    requested_->values.assign(settings.outputs.size(), 0);
}

GpioLines::~GpioLines() = default;

void GpioLines::fail(const std::string& what) const {
    const int error = errno;
    throw GpioError(what + "（" + path_ + "）：" + errorText(error), error == ENODEV);
}

std::string GpioLines::label() const {
    return gpiod_chip_label(requested_->chip);
}

void GpioLines::setOutputs(const std::vector<bool>& values) {
    std::size_t first = 0;
    for (gpiod_line_bulk& bulk : requested_->outputs) {
        std::vector<int> wanted(values.begin() + static_cast<long>(first),
                                values.begin() + static_cast<long>(first + bulk.num_lines));
        if (!std::equal(wanted.begin(), wanted.end(),
                        requested_->values.begin() + static_cast<long>(first))) {
            if (gpiod_line_set_value_bulk(&bulk, wanted.data()) != 0)
                fail("写不了输出");
            std::copy(wanted.begin(), wanted.end(),
                      requested_->values.begin() + static_cast<long>(first));
        }
        first += bulk.num_lines;
    }
}

std::vector<bool> GpioLines::readInputs() {
    std::vector<bool> read;
    for (gpiod_line_bulk& bulk : requested_->inputs) {
        std::vector<int> values(bulk.num_lines, 0);
        if (gpiod_line_get_value_bulk(&bulk, values.data()) != 0)
            fail("读不了输入");
        read.insert(read.end(), values.begin(), values.end());
    }
    return read;
}

} // namespace gpiocard
