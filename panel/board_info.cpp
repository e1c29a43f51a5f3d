#include "board_info.h"

#include "convert/format.h"
#include "driver/dlldef.h"
#include "panel/caption_label.h"
#include "panel/diagnostics.h"
#include "panel/frm_multibuf.h"

namespace panel {
namespace {

constexpr std::int32_t kBoardInfoCode = 100;

} // namespace

std::string boardInfoCaption(std::uint8_t family0, std::uint8_t family1, std::uint8_t type) {
    return "卡名：ZAN" + convert::Str(family0) + convert::Str(family1) + "类型：" +
           convert::Str(type);
}

std::string readBoardInfo(driver::DllDef& dll) {
    auto& request = dll.boardInfoRequest;
    auto& reply = dll.boardInfoReply;
    request[0] = 70;
    request[1] = 64;
    request[2] = 0;
    dll.IOCtl(kBoardInfoCode, request.data(), kBoardInfoCode, reply.data());
    return boardInfoCaption(reply[0], reply[1], reply[4]);
}

void FrmMultiBuf::Form_Load() {
    const QString caption = QString::fromStdString(readBoardInfo(dll_));
    lblInfo->setCaption(caption);
    qCInfo(lcPanel).noquote() << "driver:" << QString::fromStdString(dll_.libraryPath())
                              << "board:" << caption;
}

} // namespace panel
