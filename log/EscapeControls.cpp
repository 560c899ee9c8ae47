#include "log/EscapeControls.h"

#include <cstdint>

namespace pg {

namespace {

// The length of the valid UTF-8 character at the start of bytes, with its code point; 0 when
// the bytes there are no valid UTF-8 of two or more bytes (no overlong forms, no surrogates,
// nothing above U+10FFFF).
size_t Utf8Length(std::string_view bytes, uint32_t& codePoint) {
    const auto at = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = at(0);
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (bytes.size() < length) {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        const unsigned char byte = at(i);
        if (byte < (i == 1 ? low : 0x80) || byte > (i == 1 ? high : 0xBF)) {
            return 0;
        }
        codePoint = (codePoint << 6) | (byte & 0x3F);
    }
    return length;
}

void AppendEscaped(std::string& out, unsigned char byte) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

}  // namespace

std::string EscapeControls(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            AppendEscaped(out, byte);
            ++i;
        } else if (byte < 0x80) {
            out += static_cast<char>(byte);
            ++i;
        } else if (uint32_t codePoint = 0; size_t length = Utf8Length(text.substr(i), codePoint)) {
            const bool control = codePoint >= 0x80 && codePoint <= 0x9F;
            for (size_t k = 0; k < length; ++k) {
                if (control) {
                    AppendEscaped(out, static_cast<unsigned char>(text[i + k]));
                } else {
                    out += text[i + k];
                }
            }
            i += length;
        } else {
            if (byte <= 0x9F) {
                AppendEscaped(out, byte);
            } else {
                out += static_cast<char>(byte);
            }
            ++i;
        }
    }
    return out;
}

}  // namespace pg
