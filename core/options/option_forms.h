#pragma once
// The forms options take on a command line, for every program on these
// libraries (dio-cli, dio-station): choices from a named table, defaults
// shown in the help.

#include "convert/named.h"
#include "core/base/errors.h"
#include "driver/card_shape.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

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

// Chinese for the help's headings, the subcommands' included.
inline void chineseHelp(CLI::App& app) {
    auto formatter = app.get_formatter();
    formatter->label("Usage", "用法");
    formatter->label("OPTIONS", "选项");
    formatter->label("SUBCOMMAND", "子命令");
    formatter->label("SUBCOMMANDS", "子命令");
    formatter->label("Options", "选项");
    formatter->label("Positionals", "参数");
    formatter->label("Subcommands", "子命令");
    formatter->label("REQUIRED", "必需");
    formatter->column_width(34);
    app.option_defaults()->group("选项");
}

// CLI11's reason, in a Chinese sentence naming the kind of mistake.
inline std::string parseProblem(const CLI::ParseError& e) {
    if (dynamic_cast<const CLI::RequiredError*>(&e))
        return std::string("缺少必需的子命令或参数（") + e.what() + "）";
    if (dynamic_cast<const CLI::ExtrasError*>(&e))
        return std::string("不认识的参数（") + e.what() + "）";
    if (dynamic_cast<const CLI::ConversionError*>(&e))
        return std::string("参数的值不对（") + e.what() + "）";
    return std::string("命令行有误（") + e.what() + "）";
}

// Parses the arguments (the program's name first): true where the help was
// asked for; UsageError naming the kind of mistake.
inline bool parseOrHelp(CLI::App& app, const std::vector<std::string>& arguments) {
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    try {
        app.parse(static_cast<int>(argv.size()), argv.data());
    } catch (const CLI::CallForHelp&) {
        return true;
    } catch (const CLI::ParseError& e) {
        throw UsageError(parseProblem(e));
    }
    return false;
}

} // namespace cli
