#include "byte_output.h"

#include "convert/digits.h"
#include "convert/full_width.h"
#include "convert/narrow.h"
#include "convert/val.h"

#include <algorithm>

namespace rules {
namespace {

constexpr std::size_t kQuotedCharacters = 40;

// Where the text's first `count` characters end: never inside a character's
// UTF-8 sequence, so that the quote stays readable.
std::size_t characterBoundary(std::string_view text, std::size_t count) {
    std::size_t at = 0;
    for (std::size_t seen = 0; at < text.size(); ++at) {
        const bool startsCharacter = (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80;
        if (startsCharacter && seen++ == count)
            break;
    }
    return at;
}

} // namespace

std::optional<std::int16_t> groupFromText(std::string_view text) {
    const double group = convert::RoundHalfEven(convert::Val(convert::foldFullWidth(text)));
    if (!(group >= -32768.0 && group <= 32767.0))
        return std::nullopt;
    return convert::ToInteger(group);
}

std::int16_t byteFromHexText(std::string_view text) {
    std::string digits = convert::foldFullWidth(text);
    // A prefix typed out of habit (after blanks) is read as the prefix it is.
    const std::size_t first = std::min(digits.find_first_not_of(" \t\n"), digits.size());
    const std::string_view after =
        convert::withoutHexPrefix(std::string_view(digits).substr(first));
    if (after.size() != digits.size() - first)
        digits = std::string(after);
    // "&H" with up to eight digits, or more (low 32 bits kept), is always a Long.
    const std::int32_t value = convert::ToLong(convert::Val("&H" + digits));
    return static_cast<std::int16_t>(value & 255);
}

std::string groupRefusedMessage(std::string_view text) {
    const std::size_t cut = characterBoundary(text, kQuotedCharacters);
    const std::string quoted = std::string(text.substr(0, cut)) + (cut < text.size() ? "…" : "");
    return "通道组“" + quoted + "”超出范围（-32768 到 32767），未输出。";
}

} // namespace rules
