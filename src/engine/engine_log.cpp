#include "engine_log.h"

#include "result_code.h"
#include "wire_message.h"

#include <algorithm>

namespace olvex {

std::string ResultLine(int32_t code) {
    return std::string(ResultText(code)) + " (" + std::to_string(code) + ")";
}

std::string DisconnectReasonLine(int reason) {
    const char* what = "unknown";
    switch (reason) {
    case 1:
        what = "logout";
        break;
    case 2:
        what = "connection lost";
        break;
    case 3:
        what = "a command could not be sent";
        break;
    case 4:
        what = "program ending";
        break;
    default:
        break;
    }
    return "reason " + std::to_string(reason) + ", " + what;
}

std::string ReceiveEndLine(int32_t result, const WireMessage& message) {
    switch (result) {
    case ResultCode::ConnectionLost:
        return "the connection ended (-5)";
    case ResultCode::BadFrame:
        return "a frame was refused (-4)";
    case ResultCode::MessageFormat: {
        // Only the four code characters: the rest of the payload may be anyone's text.
        const std::string& payload = message.Payload();
        return "a message with a negative command code was refused (code bytes " +
               HexBytes(payload.data(), std::min<size_t>(payload.size(), 4)) + ", " +
               std::to_string(payload.size()) + " bytes) (-16)";
    }
    default:
        return ResultLine(result);
    }
}

} // namespace olvex
