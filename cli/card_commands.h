#pragma once
// info, get and set: one driver call or a few, their results printed.

#include "cli/subcommand.h"
#include "convert/named.h"
#include "core/options/arguments.h"

#include <vector>

namespace cli {

class Card;

struct InfoCommand {};

enum class GetFormat { Text, Hex, Bits, Json };
inline constexpr convert::Named<GetFormat> kGetFormatNames[] = {{GetFormat::Text, "text"},
                                                                {GetFormat::Hex, "hex"},
                                                                {GetFormat::Bits, "bits"},
                                                                {GetFormat::Json, "json"}};

struct GetSetup {
    int words = 4; // as the panel reads them
    GetFormat format = GetFormat::Text;
};

struct SetSetup {
    bool bytes = false; // whole groups (Zan_DO), else single lines (Zan_DOBit)
    std::vector<BitSetting> bits;
    std::vector<ByteSetting> groups;
};

template <> struct Subcommand<InfoCommand> {
    static constexpr const char* kName = "info";
    static constexpr bool kUsesCard = true;
    static Finish<InfoCommand> declare(CLI::App& app);
    static ExitStatus run(const InfoCommand& setup, Card& card);
};

template <> struct Subcommand<GetSetup> {
    static constexpr const char* kName = "get";
    static constexpr bool kUsesCard = true;
    static Finish<GetSetup> declare(CLI::App& app);
    static ExitStatus run(const GetSetup& setup, Card& card);
};

template <> struct Subcommand<SetSetup> {
    static constexpr const char* kName = "set";
    static constexpr bool kUsesCard = true;
    static Finish<SetSetup> declare(CLI::App& app);
    static ExitStatus run(const SetSetup& setup, Card& card);
};

} // namespace cli
