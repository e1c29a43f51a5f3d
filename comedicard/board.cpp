#include "comedicard/board.h"

#include "driver/driver_settings.h"

#include <comedilib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <thread>

namespace comedicard {
namespace {

bool digital(int type) {
    return type == COMEDI_SUBD_DI || type == COMEDI_SUBD_DO || type == COMEDI_SUBD_DIO;
}

const char* typeName(int type) {
    switch (type) {
    case COMEDI_SUBD_DI:
        return "数字输入";
    case COMEDI_SUBD_DO:
        return "数字输出";
    case COMEDI_SUBD_DIO:
        return "数字输入/输出";
    case COMEDI_SUBD_UNUSED:
        return "未用";
    default:
        return "非数字";
    }
}

// Who may open the node, and how that is changed.
std::string whoMayOpen(const std::string& device) {
    return "（" + driver::ownerOf(device) +
           "Debian 的 libcomedi0 装有让每个用户都能读写 comedi 设备的 udev 规则）";
}

std::string errorText(int error) {
    return error > 0 && error < 0x1000 ? std::strerror(error) : comedi_strerror(error);
}

// The first subdevice of the type, else the first digital I/O one, else -1.
int findSubdevice(comedi_t* board, int type) {
    const int found = comedi_find_subdevice_by_type(board, type, 0);
    return found >= 0 ? found : comedi_find_subdevice_by_type(board, COMEDI_SUBD_DIO, 0);
}

} // namespace

Board::Board(const Settings& settings) : device_(settings.device), settling_(settings.settlingMs) {
    comedi_loglevel(0); // failures are said through AdcardLastError, not printed
    board_ = comedi_open(device_.c_str());
    if (!board_) {
        const int error = errno;
        if (error == ENOENT)
            throw BoardError("没有设备 " + device_);
        if (error == EACCES || error == EPERM)
            throw BoardError("无权打开 " + device_ + "：" + std::strerror(error) +
                             whoMayOpen(device_));
        throw BoardError("打不开 " + device_ + "：" + errorText(error));
    }
    id_ = driver::nodeId("comedi", device_);
    try {
        configure(settings);
    } catch (...) {
        putBack();
        comedi_close(board_);
        throw;
    }
}

Board::~Board() {
    putBack();
    comedi_close(board_);
}

void Board::fail(const std::string& what) const {
    const int error = comedi_errno();
    throw BoardError(what + "（" + device_ + "）：" + errorText(error), error == ENODEV);
}

void Board::configure(const Settings& settings) {
    const int subdevices = comedi_get_n_subdevices(board_);
    auto subdevice = [&](const std::optional<int>& given, int type, const char* role) {
        const int found = given ? *given : findSubdevice(board_, type);
        if (found < 0)
            throw BoardError(device_ + " 没有" + std::string(role) + "的子设备");
        if (found >= subdevices)
            throw BoardError(device_ + " 没有子设备 " + std::to_string(found) + "（共 " +
                             std::to_string(subdevices) + " 个）");
        const int kind = comedi_get_subdevice_type(board_, static_cast<unsigned>(found));
        const bool fits = type == COMEDI_SUBD_DI
                              ? kind == COMEDI_SUBD_DI || kind == COMEDI_SUBD_DIO
                              : kind == COMEDI_SUBD_DO || kind == COMEDI_SUBD_DIO;
        if (!digital(kind) || !fits)
            throw BoardError(device_ + " 的子设备 " + std::to_string(found) + " 是" +
                             typeName(kind) + "的，不能作" + role);
        return static_cast<unsigned>(found);
    };
    inputs_ = subdevice(settings.inputs, COMEDI_SUBD_DI, "输入");
    outputs_ = subdevice(settings.outputs, COMEDI_SUBD_DO, "输出");
    const int inputCount = comedi_get_n_channels(board_, inputs_);
    const int outputCount = comedi_get_n_channels(board_, outputs_);
    const bool shared = inputs_ == outputs_;
    int lines = settings.lines.value_or(
        std::min(128, shared ? inputCount / 2 : std::min(inputCount, outputCount)) / 8 * 8);
    if (lines < 8)
        throw BoardError(device_ + " 的子设备通道不够 8 条线");
    auto first = [&](int from) {
        std::vector<int> channels(static_cast<std::size_t>(lines));
        for (int i = 0; i < lines; ++i)
            channels[static_cast<std::size_t>(i)] = from + i;
        return channels;
    };
    outputChannels_ = settings.outputChannels.empty() ? first(0) : settings.outputChannels;
    inputChannels_ =
        settings.inputChannels.empty() ? first(shared ? lines : 0) : settings.inputChannels;
    for (const auto& [subdevice, channels, count, role] :
         {std::tuple{inputs_, &inputChannels_, inputCount, "输入"},
          std::tuple{outputs_, &outputChannels_, outputCount, "输出"}})
        for (int channel : *channels)
            if (channel >= count)
                throw BoardError(device_ + " 的子设备 " + std::to_string(subdevice) + " 只有 " +
                                 std::to_string(count) + " 个通道，配置的" + role + "要用通道 " +
                                 std::to_string(channel));
    if (shared)
        for (int channel : inputChannels_)
            for (int output : outputChannels_)
                if (channel == output)
                    throw BoardError("通道 " + std::to_string(channel) + " 不能既作输入又作输出");
    // Directions, on digital I/O subdevices only: each channel's as it was
    // (where the driver says), then as the settings want.
    for (const auto& [subdevice, channels, direction] :
         {std::tuple{inputs_, &inputChannels_, COMEDI_INPUT},
          std::tuple{outputs_, &outputChannels_, COMEDI_OUTPUT}}) {
        if (comedi_get_subdevice_type(board_, subdevice) != COMEDI_SUBD_DIO)
            continue;
        for (int channel : *channels) {
            unsigned before = 0;
            const bool known = comedi_dio_get_config(board_, subdevice,
                                                     static_cast<unsigned>(channel), &before) >= 0;
            if (comedi_dio_config(board_, subdevice, static_cast<unsigned>(channel),
                                  static_cast<unsigned>(direction)) < 0)
                fail("设不了子设备 " + std::to_string(subdevice) + " 通道 " +
                     std::to_string(channel) + " 的方向");
            turned_.push_back(
                {subdevice, channel, known ? static_cast<int>(before) : -1, direction});
        }
    }
}

void Board::putBack() {
    for (const Turned& channel : turned_) {
        if (channel.before < 0 || channel.before == channel.made)
            continue; // unknown: left as the settings made it; unchanged: as it was
        if (channel.made == COMEDI_OUTPUT) { // at 0 before it is an input again
            unsigned bits = 0;
            const unsigned base = static_cast<unsigned>(channel.channel) / 32 * 32;
            comedi_dio_bitfield2(board_, channel.subdevice, 1U << (channel.channel % 32), &bits,
                                 base);
        }
        comedi_dio_config(board_, channel.subdevice, static_cast<unsigned>(channel.channel),
                          static_cast<unsigned>(channel.before));
    }
    turned_.clear();
}

void Board::writeChannels(const std::vector<std::pair<int, bool>>& wanted) {
    // One call a block of 32 channels that the lines touch.
    std::map<unsigned, std::pair<unsigned, unsigned>> blocks;
    for (const auto& [line, value] : wanted) {
        const auto channel = static_cast<unsigned>(line);
        auto& [write, bits] = blocks[channel / 32 * 32];
        write |= 1U << (channel % 32);
        bits |= static_cast<unsigned>(value) << (channel % 32);
    }
    for (auto& [base, block] : blocks)
        if (comedi_dio_bitfield2(board_, outputs_, block.first, &block.second, base) < 0)
            fail("写不了输出");
    lastWrite_ = std::chrono::steady_clock::now();
}

void Board::write(int line, bool value) {
    writeChannels({{outputChannels_[static_cast<std::size_t>(line)], value}});
}

void Board::writeGroup(int group, std::uint8_t value) {
    std::vector<std::pair<int, bool>> wanted;
    for (int bit = 0; bit < 8; ++bit)
        wanted.emplace_back(
            outputChannels_[static_cast<std::size_t>(group) * 8 + static_cast<std::size_t>(bit)],
            (value >> bit & 1) != 0);
    writeChannels(wanted);
}

std::vector<std::uint8_t> Board::read() {
    std::this_thread::sleep_until(lastWrite_ + settling_);
    std::map<unsigned, unsigned> blocks;
    for (int channel : inputChannels_)
        blocks.emplace(static_cast<unsigned>(channel) / 32 * 32, 0);
    for (auto& [base, bits] : blocks)
        if (comedi_dio_bitfield2(board_, inputs_, 0, &bits, base) < 0)
            fail("读不了输入");
    std::vector<std::uint8_t> bytes(inputChannels_.size() / 8);
    for (std::size_t line = 0; line < inputChannels_.size(); ++line) {
        const auto channel = static_cast<unsigned>(inputChannels_[line]);
        if (blocks[channel / 32 * 32] >> (channel % 32) & 1)
            bytes[line / 8] = static_cast<std::uint8_t>(bytes[line / 8] | 1 << (line % 8));
    }
    return bytes;
}

std::string Board::description() const {
    return std::string(comedi_get_board_name(board_)) + "，comedi 驱动 " +
           comedi_get_driver_name(board_) + "，" + device_;
}

} // namespace comedicard
