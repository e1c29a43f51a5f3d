#include "modbus_map.h"

#include "cli/card.h"

#include <algorithm>

namespace cli::serve {
namespace {

constexpr int kInputs = card::kGroups * 8; // discrete inputs: 8 bits of each input word
constexpr int kInputWords = card::kGroups;

struct Refused {
    std::uint8_t code;
};

// A write that failed partway: what had reached the card before, for the log.
struct FailedPartway {
    std::string wrote; // "" where nothing had
    std::string why;
};

// Runs the writes of one request, `wrote` growing as each reaches the card;
// a driver call that fails ends it as FailedPartway.
template <typename Writes> std::string writing(const char* what, Writes writes) {
    std::string wrote;
    try {
        writes(wrote);
    } catch (const DriverCallFailed& e) {
        throw FailedPartway{wrote.empty() ? "" : what + wrote + "（其后失败）", e.what()};
    }
    return what + wrote;
}

int word(const std::vector<std::uint8_t>& pdu, std::size_t at) {
    if (pdu.size() < at + 2)
        throw Refused{kIllegalValue};
    return pdu[at] << 8 | pdu[at + 1];
}

void putWord(std::vector<std::uint8_t>& pdu, int value) {
    pdu.push_back(static_cast<std::uint8_t>(value >> 8));
    pdu.push_back(static_cast<std::uint8_t>(value));
}

// A count within the function's own limit: exception 3, which comes before
// any about the address.
void checkCount(int count, int most) {
    if (count < 1 || count > most)
        throw Refused{kIllegalValue};
}

// A range of `count` items from `first`, within `size`, the count within the
// function's own limit.
void checkRange(int first, int count, int size, int most) {
    checkCount(count, most);
    if (first + count > size)
        throw Refused{kIllegalAddress};
}

std::vector<std::uint8_t> packedBits(std::uint8_t function, const std::vector<bool>& bits) {
    std::vector<std::uint8_t> pdu{function, static_cast<std::uint8_t>((bits.size() + 7) / 8)};
    pdu.resize(2 + pdu[1]);
    for (std::size_t i = 0; i < bits.size(); ++i)
        pdu[2 + i / 8] |= bits[i] ? 1 << i % 8 : 0;
    return pdu;
}

std::vector<std::uint8_t> readBits(const std::vector<std::uint8_t>& request, CardPort& card,
                                   const Written& written) {
    const std::uint8_t function = request[0];
    const int first = word(request, 1), count = word(request, 3);
    checkRange(first, count, function == 1 ? card::kChannels : kInputs, 2000);
    std::vector<bool> bits;
    if (function == 1) {
        bits.assign(written.coils.begin() + first, written.coils.begin() + first + count);
    } else { // one read of the words the range needs
        const std::vector<std::int16_t> words = card.readWords((first + count + 7) / 8);
        for (int input = first; input < first + count; ++input)
            bits.push_back((words[input / 8] >> input % 8 & 1) != 0);
    }
    return packedBits(function, bits);
}

std::vector<std::uint8_t> readRegisters(const std::vector<std::uint8_t>& request, CardPort& card,
                                        const Written& written) {
    const std::uint8_t function = request[0];
    const int first = word(request, 1), count = word(request, 3);
    checkRange(first, count, function == 3 ? card::kGroups : kInputWords, 125);
    std::vector<std::uint8_t> pdu{function, static_cast<std::uint8_t>(2 * count)};
    if (function == 3) {
        for (int group = first; group < first + count; ++group)
            putWord(pdu, written.groups[group]);
    } else {
        const std::vector<std::int16_t> words = card.readWords(first + count);
        for (int k = first; k < first + count; ++k)
            putWord(pdu, static_cast<std::uint16_t>(words[k]));
    }
    return pdu;
}

// Coils from `first` set to `values`: whole groups with one Zan_DO, the rest
// line by line.
std::string writeCoils(int first, const std::vector<bool>& values, CardPort& card,
                       Written& written) {
    return writing("写线圈", [&](std::string& wrote) {
        const int last = first + static_cast<int>(values.size()) - 1;
        for (int line = first; line <= last;) {
            const int group = line / 8;
            if (line % 8 == 0 && line + 7 <= last) {
                int byte = 0;
                for (int bit = 0; bit < 8; ++bit)
                    byte |= values[line - first + bit] ? 1 << bit : 0;
                card.writeByte(group, byte);
                for (int bit = 0; bit < 8; ++bit)
                    written.coils[line + bit] = (byte >> bit & 1) != 0;
                written.groups[group] = byte;
                wrote += " 组" + std::to_string(group) + "=" + std::to_string(byte);
                line += 8;
            } else {
                const bool value = values[line - first];
                card.writeBit(line + 1, value);
                written.coils[line] = value;
                written.groups[group] = value ? written.groups[group] | 1 << line % 8
                                              : written.groups[group] & ~(1 << line % 8);
                wrote += " 通道" + std::to_string(line + 1) + "=" + (value ? "1" : "0");
                ++line;
            }
        }
    });
}

std::string writeGroups(int first, const std::vector<int>& bytes, CardPort& card,
                        Written& written) {
    for (const int byte : bytes) // all checked before any is sent
        if (byte > 255)
            throw Refused{kIllegalValue};
    return writing("写保持寄存器", [&](std::string& wrote) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const int group = first + static_cast<int>(i);
            card.writeByte(group, bytes[i]);
            written.groups[group] = bytes[i];
            for (int bit = 0; bit < 8; ++bit)
                written.coils[group * 8 + bit] = (bytes[i] >> bit & 1) != 0;
            wrote += " 组" + std::to_string(group) + "=" + std::to_string(bytes[i]);
        }
    });
}

Answer write(const std::vector<std::uint8_t>& request, CardPort& card, Written& written) {
    const std::uint8_t function = request[0];
    const int first = word(request, 1);
    if (function == 5 || function == 6) {
        const int value = word(request, 3);
        if (request.size() != 5)
            throw Refused{kIllegalValue};
        if (function == 5) { // the value before the address, as the protocol orders them
            if (value != 0xFF00 && value != 0)
                throw Refused{kIllegalValue};
            checkRange(first, 1, card::kChannels, 1);
            return {request, writeCoils(first, {value != 0}, card, written), ""};
        }
        checkRange(first, 1, card::kGroups, 1);
        return {request, writeGroups(first, {value}, card, written), ""};
    }
    const int count = word(request, 3);
    const std::size_t bytes = request.size() > 5 ? request[5] : 0;
    const bool coils = function == 15;
    // The quantity and the byte count before the address, as the protocol orders them.
    checkCount(count, coils ? 1968 : 123);
    if (bytes != static_cast<std::size_t>(coils ? (count + 7) / 8 : 2 * count) ||
        request.size() != 6 + bytes)
        throw Refused{kIllegalValue};
    checkRange(first, count, coils ? card::kChannels : card::kGroups, coils ? 1968 : 123);
    std::vector<std::uint8_t> pdu(request.begin(), request.begin() + 5);
    if (coils) {
        std::vector<bool> values;
        for (int i = 0; i < count; ++i)
            values.push_back((request[6 + i / 8] >> i % 8 & 1) != 0);
        return {pdu, writeCoils(first, values, card, written), ""};
    }
    std::vector<int> values;
    for (int i = 0; i < count; ++i)
        values.push_back(word(request, 6 + 2 * i));
    return {pdu, writeGroups(first, values, card, written), ""};
}

std::vector<std::uint8_t> serverId(CardPort& card, std::uint8_t unit) {
    const std::string caption = card.boardCaption().substr(0, 240);
    std::vector<std::uint8_t> pdu(4 + caption.size());
    pdu[0] = 17;
    pdu[1] = static_cast<std::uint8_t>(2 + caption.size());
    pdu[2] = unit;
    pdu[3] = 0xFF; // running
    std::copy(caption.begin(), caption.end(), pdu.begin() + 4);
    return pdu;
}

} // namespace

bool writes(std::uint8_t function) {
    return function == 5 || function == 6 || function == 15 || function == 16;
}

Answer answer(const std::vector<std::uint8_t>& request, std::uint8_t unit, CardPort& card,
              Written& written, bool readOnly) {
    const std::uint8_t function = request.empty() ? 0 : request[0];
    try {
        if (request.empty() || (writes(function) && readOnly))
            throw Refused{kIllegalFunction};
        switch (function) {
        case 1:
        case 2:
            return {readBits(request, card, written), "", ""};
        case 3:
        case 4:
            return {readRegisters(request, card, written), "", ""};
        case 17:
            return {serverId(card, unit), "", ""};
        default:
            if (writes(function))
                return write(request, card, written);
        }
        throw Refused{kIllegalFunction};
    } catch (const Refused& refused) {
        return {{static_cast<std::uint8_t>(function | 0x80), refused.code}, "", ""};
    } catch (const FailedPartway& partway) {
        return {{static_cast<std::uint8_t>(function | 0x80), kDeviceFailure},
                partway.wrote,
                partway.why};
    } catch (const DriverCallFailed& e) {
        return {{static_cast<std::uint8_t>(function | 0x80), kDeviceFailure}, "", e.what()};
    }
}

} // namespace cli::serve
