#include "run_identity.h"

#include "convert/uuid.h"

#include <random>

namespace cli {

std::string newRunIdentity() {
    // The system's source, not a generator seeded once: two stations started
    // at the same moment must not draw the same identities.
    std::random_device source;
    std::array<std::uint8_t, 16> bytes{};
    for (std::size_t i = 0; i < bytes.size(); i += 4) {
        const unsigned word = source();
        for (std::size_t b = 0; b < 4; ++b)
            bytes[i + b] = static_cast<std::uint8_t>(word >> (8 * b));
    }
    return convert::uuidText(bytes);
}

} // namespace cli
