#include "TerminalQr.h"

#ifdef QUENBAR_HAVE_QRENCODE
#include <qrencode.h>

#include <memory>

namespace {

constexpr int kQuietZone = 2;

}  // namespace

std::string TerminalQr(const std::string& text)
{
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString(text.c_str(), 0, QR_ECLEVEL_L, QR_MODE_8, 1), &QRcode_free);
    if (!code) return {};
    const int width = code->width;
    // Light outside the code; inside, bit 0 of each byte is a dark module.
    const auto light = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= width || y >= width) return true;
        return (code->data[y * width + x] & 1) == 0;
    };
    std::string lines;
    for (int y = -kQuietZone; y < width + kQuietZone; y += 2) {
        for (int x = -kQuietZone; x < width + kQuietZone; ++x) {
            const bool top = light(x, y), bottom = light(x, y + 1);
            lines += top && bottom ? "█" : top ? "▀" : bottom ? "▄" : " ";
        }
        lines += '\n';
    }
    return lines;
}
#else
// A build without libqrencode prints the address alone.
std::string TerminalQr(const std::string&) { return {}; }
#endif
