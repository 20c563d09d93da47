#include "WebPage.h"

#include <algorithm>
#include <string>

namespace {

// Scripts, styles and connections only from the server itself; no frames,
// no plugins, no inline code.
constexpr const char* kContentSecurityPolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self'; "
    "base-uri 'none'; form-action 'none'; frame-ancestors 'none'";

std::string ContentType(std::string_view path)
{
    if (path.ends_with(".html")) return "text/html; charset=utf-8";
    if (path.ends_with(".js")) return "text/javascript; charset=utf-8";
    if (path.ends_with(".css")) return "text/css; charset=utf-8";
    if (path.ends_with(".svg")) return "image/svg+xml";
    return "application/octet-stream";
}

}  // namespace

std::optional<ApiResponse> PageFile(std::string_view path)
{
    if (path == "/") path = "/index.html";
    const std::span<const WebAsset> assets = WebAssets();
    const auto asset = std::find_if(assets.begin(), assets.end(),
                                    [path](const WebAsset& candidate) { return candidate.path == path; });
    if (asset == assets.end()) return std::nullopt;
    ApiResponse file{200, ContentType(path), std::string(asset->bytes), {}};
    file.headers = {{"Content-Security-Policy", kContentSecurityPolicy},
                    {"X-Frame-Options", "DENY"},
                    {"Referrer-Policy", "no-referrer"}};
    return file;
}
