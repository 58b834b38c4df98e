// What a client's permessage-deflate offer asks of the host's compression (keeping context from
// message to message, the window), read from its Sec-WebSocket-Extensions header.
#pragma once

#include <string_view>

namespace cog::web {

struct DeflateOffer {
    bool server_no_context_takeover = false; // the host must compress each message on its own
    bool client_no_context_takeover = false; // the client compresses each message on its own
    int server_max_window_bits = 15;         // the longest window the host may compress with (8..15)
};

// The first permessage-deflate offer of the header (the one the endpoint accepts); all false
// when there is none.
DeflateOffer first_deflate_offer(std::string_view extensions_header);

} // namespace cog::web
