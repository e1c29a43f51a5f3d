#pragma once
// info, get and set: one driver call or a few, their results printed.

#include "convert/named.h"
#include "core/options/arguments.h"

#include <vector>

namespace cli {

class Card;

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

void showInfo(Card& card);
void showInputs(Card& card, const GetSetup& setup);
void setOutputs(Card& card, const SetSetup& setup);

} // namespace cli
