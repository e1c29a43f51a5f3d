#include "board_info.h"

#include "convert/format.h"
#include "driver/dlldef.h"

namespace rules {

std::string boardInfoCaption(std::uint8_t family0, std::uint8_t family1, std::uint8_t type) {
    return "卡名：ZAN" + convert::Str(family0) + convert::Str(family1) + "类型：" +
           convert::Str(type);
}

std::string readBoardInfo(driver::DllDef& dll) {
    auto& request = dll.boardInfoRequest;
    auto& reply = dll.boardInfoReply;
    request[0] = ADCARD_BOARD_INFO_REQUEST_0;
    request[1] = ADCARD_BOARD_INFO_REQUEST_1;
    request[2] = ADCARD_BOARD_INFO_REQUEST_2;
    dll.IOCtl(ADCARD_BOARD_INFO_CODE, request.data(), ADCARD_BOARD_INFO_CODE, reply.data());
    return boardInfoCaption(reply[0], reply[1], reply[4]);
}

} // namespace rules
