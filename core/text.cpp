// text.cpp - counting characters and showing text back safely.
#include "text.h"

#include <cstdio>

// The length of the valid UTF-8 sequence that starts at text[at], or 0
// if the byte there starts none (a stray continuation byte, a sequence cut
// short, an overlong form, a surrogate or a code point past U+10FFFF).
static std::size_t sequenceLength(const std::string& text, std::size_t at)
{
    const unsigned char first = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    unsigned long code = 0;
    if (first < 0x80) {
        return 1;
    } else if (first >= 0xc2 && first <= 0xdf) {
        length = 2;
        code = first & 0x1fu;
    } else if (first >= 0xe0 && first <= 0xef) {
        length = 3;
        code = first & 0x0fu;
    } else if (first >= 0xf0 && first <= 0xf4) {
        length = 4;
        code = first & 0x07u;
    } else {
        return 0;
    }
    if (text.size() - at < length) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const unsigned char next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xc0u) != 0x80u) {
            return 0;
        }
        code = (code << 6) | (next & 0x3fu);
    }
    static const unsigned long SMALLEST[5] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < SMALLEST[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) {
        return 0;
    }
    return length;
}

std::size_t characterCount(const std::string& text)
{
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); ++count) {
        const std::size_t length = sequenceLength(text, at);
        at += length > 0 ? length : 1;
    }
    return count;
}

std::string printable(const std::string& text, std::size_t maxCharacters)
{
    std::string shown;
    std::size_t count = 0;
    for (std::size_t at = 0; at < text.size(); ++count) {
        if (count == maxCharacters) {
            return shown + "...";
        }
        const std::size_t length = sequenceLength(text, at);
        const unsigned char first = static_cast<unsigned char>(text[at]);
        // A C1 control is U+0080 to U+009F: 0xc2 followed by 0x80 to 0x9f.
        const bool control =
            first < 0x20 || first == 0x7f ||
            (length == 2 && first == 0xc2 && static_cast<unsigned char>(text[at + 1]) < 0xa0);
        if (length == 0 || control) {
            const std::size_t bytes = length > 0 ? length : 1;
            for (std::size_t i = 0; i < bytes; ++i) {
                char code[5];
                std::snprintf(code, sizeof code, "\\x%02x",
                              static_cast<unsigned char>(text[at + i]));
                shown += code;
            }
            at += bytes;
        } else {
            shown.append(text, at, length);
            at += length;
        }
    }
    return shown;
}
