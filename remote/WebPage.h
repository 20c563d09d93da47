// The remote's web page: its files are compiled into the program (from
// remote/web/), so nothing is read from disk and nothing comes from
// other hosts.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "ApiTypes.h"

// The file at `path` ("/" is the page itself) with its type and the page's
// security headers; empty when there is none.
std::optional<ApiResponse> PageFile(std::string_view path);

// One embedded file, as the build writes them into WebAssets.cpp.
struct WebAsset {
    std::string_view path;  // "/index.html"
    std::string_view bytes;
};
std::span<const WebAsset> WebAssets();
