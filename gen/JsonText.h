// JSON text for the --json output, the manifests and the page: a string with quotes, backslashes
// and control characters escaped and every other byte as it is (the texts are UTF-8 or ASCII).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace vorn {

inline std::string JsonString(std::string_view text) {
    std::string json = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            json += '\\';
            json += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(c));
            json += escaped;
        } else {
            json += c;
        }
    }
    return json + '"';
}

} // namespace vorn
