#pragma once
// The forms options take on a command line, for every program on these
// libraries (dio-cli, dio-station): choices from a named table, defaults
// shown in the help.

#include "cli/common/errors.h"
#include "convert/named.h"
#include "driver/card_shape.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>

namespace cli {

// The value a word names from its table, or UsageError naming the option.
template <typename E, std::size_t N>
E choice(const std::string& option, const std::string& given, const convert::Named<E> (&table)[N]) {
    if (const std::optional<E> value = convert::valueNamed(table, given))
        return *value;
    throw UsageError(option + " 的“" + given + "”不对：可用 " + convert::namesIn(table, "、"));
}

// An option's choices for its help: "text、hex、bits 或 json".
template <typename E, std::size_t N> std::string choices(const convert::Named<E> (&table)[N]) {
    const std::string names = convert::namesIn(table, "、");
    const auto last = names.rfind("、");
    return names.substr(0, last) + " 或 " + names.substr(last + std::string("、").size());
}

// An option whose value has a default, which the help shows after its type.
inline CLI::Option* defaulted(CLI::Option* option, const char* type) {
    return option->type_name(type)->capture_default_str();
}

// Every channel of the card, as --channels names them.
inline std::string allChannels() {
    return "1-" + std::to_string(card::kChannels);
}

} // namespace cli
