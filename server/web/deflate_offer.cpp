// Reading the offers: offers are separated by commas, an offer's name and parameters by
// semicolons, a parameter's name and value by an equals sign, with spaces anywhere between.
#include "server/web/deflate_offer.h"

#include <charconv>

namespace cog::web {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

// Takes the text up to `separator` (or all of it) from `rest`.
std::string_view take_until(std::string_view& rest, char separator) {
    const size_t at = rest.find(separator);
    const std::string_view piece = rest.substr(0, at);
    rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + 1);
    return piece;
}

// The leading digits of a window's value, quoted or not. Outside 8..15 the library refuses the
// offer, and the widest window stands.
int window_bits(std::string_view value) {
    value = trimmed(value);
    if (!value.empty() && value.front() == '"') value.remove_prefix(1);
    int bits = 0;
    std::from_chars(value.data(), value.data() + value.size(), bits); // left at 0 when unreadable
    return bits >= 8 && bits <= 15 ? bits : 15;
}

} // namespace

DeflateOffer first_deflate_offer(std::string_view header) {
    while (!header.empty()) {
        std::string_view offer = take_until(header, ',');
        if (trimmed(take_until(offer, ';')) != "permessage-deflate") continue;
        DeflateOffer result;
        while (!offer.empty()) {
            std::string_view parameter = take_until(offer, ';');
            const std::string_view name = trimmed(take_until(parameter, '='));
            if (name == "server_no_context_takeover") result.server_no_context_takeover = true;
            if (name == "client_no_context_takeover") result.client_no_context_takeover = true;
            if (name == "server_max_window_bits") result.server_max_window_bits = window_bits(parameter);
        }
        return result;
    }
    return {};
}

} // namespace cog::web
