// What a client's permessage-deflate offer asks about keeping compression context from message
// to message, read from its Sec-WebSocket-Extensions header.
#pragma once

#include <string_view>

namespace cog::web {

struct DeflateOffer {
    bool server_no_context_takeover = false; // the host must compress each message on its own
    bool client_no_context_takeover = false; // the client compresses each message on its own
};

// The first permessage-deflate offer of the header (the one the endpoint accepts); all false
// when there is none.
DeflateOffer first_deflate_offer(std::string_view extensions_header);

} // namespace cog::web
