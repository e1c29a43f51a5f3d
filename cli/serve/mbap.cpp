#include "mbap.h"

#include <algorithm>

namespace cli::serve {
namespace {

constexpr std::size_t kHeader = 7; // transaction, protocol, length: 2 bytes each; unit
constexpr std::size_t kLongestPdu = 253;

} // namespace

void Frames::add(const std::uint8_t* bytes, std::size_t size) {
    buffer_.insert(buffer_.end(), bytes, bytes + size);
}

std::optional<Request> Frames::next() {
    if (broken_ || buffer_.size() < kHeader)
        return std::nullopt;
    const int protocol = buffer_[2] << 8 | buffer_[3];
    const std::size_t length = static_cast<std::size_t>(buffer_[4] << 8 | buffer_[5]);
    // The length counts the unit id and the PDU.
    if (protocol != 0 || length < 2 || length > kLongestPdu + 1) {
        broken_ = true;
        return std::nullopt;
    }
    if (buffer_.size() < kHeader - 1 + length)
        return std::nullopt;
    Request request{static_cast<std::uint16_t>(buffer_[0] << 8 | buffer_[1]),
                    buffer_[6],
                    {buffer_.begin() + kHeader, buffer_.begin() + kHeader - 1 + length}};
    buffer_.erase(buffer_.begin(), buffer_.begin() + kHeader - 1 + length);
    return request;
}

std::vector<std::uint8_t> frame(const Request& request, const std::vector<std::uint8_t>& pdu) {
    const std::size_t length = pdu.size() + 1;
    std::vector<std::uint8_t> bytes(kHeader - 1 + length);
    bytes[0] = static_cast<std::uint8_t>(request.transaction >> 8);
    bytes[1] = static_cast<std::uint8_t>(request.transaction);
    bytes[4] = static_cast<std::uint8_t>(length >> 8);
    bytes[5] = static_cast<std::uint8_t>(length);
    bytes[6] = request.unit;
    std::copy(pdu.begin(), pdu.end(), bytes.begin() + kHeader);
    return bytes;
}

} // namespace cli::serve
