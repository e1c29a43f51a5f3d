#include "modbus_map.h"

#include "core/base/errors.h"
#include "modbuscard/mbap.h"

#include <modbus/modbus.h>

#include <algorithm>

namespace cli::serve {
namespace {

// Discrete inputs: the bits of each input word the card has; as many input
// registers as words.
constexpr int kInputRegisters = card::kGroups;
constexpr int kInputs = kInputRegisters * card::kLinesPerGroup;
constexpr int kBitsPerWord = card::kLinesPerGroup; // of an input word the map shows

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
        throw Refused{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
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
        throw Refused{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
}

// A range of `count` items from `first`, within `size`, the count within the
// function's own limit.
void checkRange(int first, int count, int size, int most) {
    checkCount(count, most);
    if (first + count > size)
        throw Refused{MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS};
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
    checkRange(first, count, function == MODBUS_FC_READ_COILS ? card::kChannels : kInputs,
               MODBUS_MAX_READ_BITS);
    std::vector<bool> bits;
    if (function == MODBUS_FC_READ_COILS) {
        bits.assign(written.coils.begin() + first, written.coils.begin() + first + count);
    } else { // one read of the words the range needs
        const std::vector<std::int16_t> words =
            card.readWords((first + count + kBitsPerWord - 1) / kBitsPerWord);
        for (int input = first; input < first + count; ++input)
            bits.push_back((words[input / kBitsPerWord] >> input % kBitsPerWord & 1) != 0);
    }
    return packedBits(function, bits);
}

std::vector<std::uint8_t> readRegisters(const std::vector<std::uint8_t>& request, CardPort& card,
                                        const Written& written) {
    const std::uint8_t function = request[0];
    const int first = word(request, 1), count = word(request, 3);
    const bool holding = function == MODBUS_FC_READ_HOLDING_REGISTERS;
    checkRange(first, count, holding ? card::kGroups : kInputRegisters, MODBUS_MAX_READ_REGISTERS);
    std::vector<std::uint8_t> pdu{function, static_cast<std::uint8_t>(2 * count)};
    if (holding) {
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
            const int channel = line + 1, group = card::groupOf(channel),
                      bit = card::bitOf(channel);
            if (bit == 0 && line + card::kLinesPerGroup - 1 <= last) {
                int byte = 0;
                for (int b = 0; b < card::kLinesPerGroup; ++b)
                    byte |= values[line - first + b] ? 1 << b : 0;
                card.writeByte(group, byte);
                for (int b = 0; b < card::kLinesPerGroup; ++b)
                    written.coils[line + b] = (byte >> b & 1) != 0;
                written.groups[group] = byte;
                wrote += " 组" + std::to_string(group) + "=" + std::to_string(byte);
                line += card::kLinesPerGroup;
            } else {
                const bool value = values[line - first];
                card.writeBit(channel, value);
                written.coils[line] = value;
                written.groups[group] =
                    value ? written.groups[group] | 1 << bit : written.groups[group] & ~(1 << bit);
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
            throw Refused{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
    return writing("写保持寄存器", [&](std::string& wrote) {
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            const int group = first + static_cast<int>(i);
            card.writeByte(group, bytes[i]);
            written.groups[group] = bytes[i];
            for (int bit = 0; bit < card::kLinesPerGroup; ++bit)
                written.coils[group * card::kLinesPerGroup + bit] = (bytes[i] >> bit & 1) != 0;
            wrote += " 组" + std::to_string(group) + "=" + std::to_string(bytes[i]);
        }
    });
}

Answer write(const std::vector<std::uint8_t>& request, CardPort& card, Written& written) {
    const std::uint8_t function = request[0];
    const int first = word(request, 1);
    if (function == MODBUS_FC_WRITE_SINGLE_COIL || function == MODBUS_FC_WRITE_SINGLE_REGISTER) {
        const int value = word(request, 3);
        if (request.size() != 5)
            throw Refused{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
        if (function == MODBUS_FC_WRITE_SINGLE_COIL) { // the value before the address, as the
                                                       // protocol orders them
            if (value != 0xFF00 && value != 0)
                throw Refused{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
            checkRange(first, 1, card::kChannels, 1);
            return {request, writeCoils(first, {value != 0}, card, written), ""};
        }
        checkRange(first, 1, card::kGroups, 1);
        return {request, writeGroups(first, {value}, card, written), ""};
    }
    const int count = word(request, 3);
    const std::size_t bytes = request.size() > 5 ? request[5] : 0;
    const bool coils = function == MODBUS_FC_WRITE_MULTIPLE_COILS;
    // The quantity and the byte count before the address, as the protocol orders them.
    const int most = coils ? MODBUS_MAX_WRITE_BITS : MODBUS_MAX_WRITE_REGISTERS;
    checkCount(count, most);
    if (bytes != static_cast<std::size_t>(coils ? (count + 7) / 8 : 2 * count) ||
        request.size() != 6 + bytes)
        throw Refused{MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE};
    checkRange(first, count, coils ? card::kChannels : card::kGroups, most);
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
    pdu[0] = MODBUS_FC_REPORT_SLAVE_ID;
    pdu[1] = static_cast<std::uint8_t>(2 + caption.size());
    pdu[2] = unit;
    pdu[3] = 0xFF; // running
    std::copy(caption.begin(), caption.end(), pdu.begin() + 4);
    return pdu;
}

} // namespace

bool writes(std::uint8_t function) {
    return function == MODBUS_FC_WRITE_SINGLE_COIL || function == MODBUS_FC_WRITE_SINGLE_REGISTER ||
           function == MODBUS_FC_WRITE_MULTIPLE_COILS ||
           function == MODBUS_FC_WRITE_MULTIPLE_REGISTERS;
}

std::vector<std::uint8_t> exception(std::uint8_t function, std::uint8_t code) {
    return {static_cast<std::uint8_t>(function | mbap::kExceptionBit), code};
}

Answer answer(const std::vector<std::uint8_t>& request, std::uint8_t unit, CardPort& card,
              Written& written, bool readOnly) {
    const std::uint8_t function = request.empty() ? 0 : request[0];
    try {
        if (request.empty() || (writes(function) && readOnly))
            throw Refused{MODBUS_EXCEPTION_ILLEGAL_FUNCTION};
        switch (function) {
        case MODBUS_FC_READ_COILS:
        case MODBUS_FC_READ_DISCRETE_INPUTS:
            return {readBits(request, card, written), "", ""};
        case MODBUS_FC_READ_HOLDING_REGISTERS:
        case MODBUS_FC_READ_INPUT_REGISTERS:
            return {readRegisters(request, card, written), "", ""};
        case MODBUS_FC_REPORT_SLAVE_ID:
            return {serverId(card, unit), "", ""};
        default:
            if (writes(function))
                return write(request, card, written);
        }
        throw Refused{MODBUS_EXCEPTION_ILLEGAL_FUNCTION};
    } catch (const Refused& refused) {
        return {exception(function, refused.code), "", ""};
    } catch (const FailedPartway& partway) {
        return {exception(function, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE), partway.wrote,
                partway.why};
    } catch (const DriverCallFailed& e) {
        return {exception(function, MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE), "", e.what()};
    }
}

} // namespace cli::serve
