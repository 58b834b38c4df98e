// Drawing a QR code in a terminal.
#include "door/terminal_qr.h"

#include <qrcodegen/qrcodegen.hpp>

namespace cog::door {

std::optional<std::string> terminal_qr(std::string_view text) {
    using qrcodegen::QrCode;
    std::optional<QrCode> code;
    try {
        code = QrCode::encodeText(std::string(text).c_str(), QrCode::Ecc::MEDIUM);
    } catch (const std::exception&) { // qrcodegen's way of saying it is too long; stops here
        return std::nullopt;
    }
    constexpr int QUIET = 2;
    const int size = code->getSize();
    // Outside the code getModule is light, which draws the quiet zone.
    const auto light = [&](int x, int y) { return !code->getModule(x, y); };
    std::string out;
    for (int y = -QUIET; y < size + QUIET; y += 2) {
        for (int x = -QUIET; x < size + QUIET; ++x) {
            const bool top = light(x, y), bottom = light(x, y + 1);
            out += top && bottom ? "\u2588" : top ? "\u2580" : bottom ? "\u2584" : " ";
        }
        out += '\n';
    }
    return out;
}

} // namespace cog::door
