// Any bytes a Modbus TCP client may send, through the server's framing and
// its map onto a card that records what it is asked: no crash, an answer
// that fits a frame, and nothing sent to the card for a refused request nor
// out of the card's range.
#include "cli/serve/frames.h"
#include "cli/serve/modbus_map.h"
#include "modbuscard/mbap.h"

#include <modbus/modbus.h>

#include <cstdio>
#include <cstdlib>

#define CHECK(condition)                                                                           \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "check failed: %s\n", #condition);                                \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace {

class RecordingCard : public cli::serve::CardPort {
public:
    int writes = 0;
    std::vector<std::int16_t> readWords(int count) override {
        CHECK(count >= 1 && count <= card::kGroups);
        return std::vector<std::int16_t>(static_cast<std::size_t>(count), 0x5A);
    }
    void writeBit(int channel, int value) override {
        CHECK(channel >= 1 && channel <= card::kChannels && (value == 0 || value == 1));
        ++writes;
    }
    void writeByte(int group, int byte) override {
        CHECK(group >= 0 && group < card::kGroups && byte >= 0 && byte <= 255);
        ++writes;
    }
    std::string boardCaption() override { return "卡名：ZAN 51 8类型： 1"; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    cli::serve::Frames frames;
    frames.add(data, size);
    RecordingCard card;
    cli::serve::Written written;
    const bool readOnly = size > 0 && data[0] % 2 == 1;
    for (int n = 0; n < 300; ++n) {
        const std::optional<cli::serve::Request> request = frames.next();
        if (!request)
            break;
        const int before = card.writes;
        const cli::serve::Answer answer =
            cli::serve::answer(request->pdu, request->unit, card, written, readOnly);
        CHECK(!answer.pdu.empty() && answer.pdu.size() <= MODBUS_MAX_PDU_LENGTH);
        const bool refused = (answer.pdu[0] & mbap::kExceptionBit) != 0;
        CHECK(!refused || answer.pdu.size() == 2);
        if (refused || readOnly)
            CHECK(card.writes == before);
        CHECK(cli::serve::frame(*request, answer.pdu).size() == mbap::kHeader + answer.pdu.size());
    }
    return 0;
}
