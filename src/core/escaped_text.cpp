#include "escaped_text.h"

#include <cstdio>

std::string escaped_text(const char *text)
{
    std::string escaped;
    for (const char *at = text; *at; ++at) {
        const unsigned char byte = static_cast<unsigned char>(*at);
        switch (byte) {
        case '\t':
            escaped += "\\t";
            break;
        case '\n':
            escaped += "\\n";
            break;
        case '\r':
            escaped += "\\r";
            break;
        case '\\':
            escaped += "\\\\";
            break;
        default:
            if (byte < 0x20 || byte == 0x7F) {
                char hex[5];
                std::snprintf(hex, sizeof hex, "\\x%02X", byte);
                escaped += hex;
            } else {
                escaped += char(byte);
            }
        }
    }
    return escaped;
}
