#include "frames.h"

namespace cli::serve {

using mbap::kHeader;

void Frames::add(const std::uint8_t* bytes, std::size_t size) {
    buffer_.insert(buffer_.end(), bytes, bytes + size);
}

std::optional<Request> Frames::next() {
    if (broken_ || buffer_.size() < kHeader)
        return std::nullopt;
    const std::optional<std::size_t> size = mbap::frameSize(buffer_.data());
    if (mbap::wordAt(buffer_.data() + 2) != 0 || !size) { // protocol 0 is Modbus
        broken_ = true;
        return std::nullopt;
    }
    if (buffer_.size() < *size)
        return std::nullopt;
    Request request{static_cast<std::uint16_t>(mbap::wordAt(buffer_.data())),
                    buffer_[6],
                    {buffer_.begin() + kHeader, buffer_.begin() + *size}};
    buffer_.erase(buffer_.begin(), buffer_.begin() + *size);
    return request;
}

std::vector<std::uint8_t> frame(const Request& request, const std::vector<std::uint8_t>& pdu) {
    return mbap::frame({request.transaction, request.unit, pdu});
}

} // namespace cli::serve
