// Readable names of the framing results, as the log prints them.
#include "shared/protocol/framing.h"

namespace cog {

const char* protocol_error_name(ProtocolError error) {
    switch (error) {
    case ProtocolError::None: return "None";
    case ProtocolError::ConnectionClosed: return "ConnectionClosed";
    case ProtocolError::MessageTooLarge: return "MessageTooLarge";
    case ProtocolError::InvalidLength: return "InvalidLength";
    case ProtocolError::SendFailed: return "SendFailed";
    case ProtocolError::ReceiveFailed: return "ReceiveFailed";
    case ProtocolError::JsonEncodeFailed: return "JsonEncodeFailed";
    case ProtocolError::JsonDecodeFailed: return "JsonDecodeFailed";
    case ProtocolError::AllocationFailed: return "AllocationFailed";
    case ProtocolError::Would_Block: return "Would_Block";
    }
    return "Unknown";
}

} // namespace cog
