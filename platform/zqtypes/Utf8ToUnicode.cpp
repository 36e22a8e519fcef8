#include <stdexcept>

#include "host/UTF8FS.h"

namespace {

void Fail(std::size_t at) {
    throw std::invalid_argument("invalid UTF-8 at byte " + std::to_string(at));
}

void Append(std::wstring& wide, unsigned long code) {
    if (sizeof(wchar_t) >= 4 || code < 0x10000) {
        wide.push_back(static_cast<wchar_t>(code));
        return;
    }
    // 16-bit wide characters (Windows): a surrogate pair.
    code -= 0x10000;
    wide.push_back(static_cast<wchar_t>(0xD800 + (code >> 10)));
    wide.push_back(static_cast<wchar_t>(0xDC00 + (code & 0x3FF)));
}

}  // namespace

std::wstring Utf8ToUnicode(const std::string& text) {
    std::wstring wide;
    wide.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        unsigned long code = lead;
        std::size_t extra = 0;
        unsigned long minimum = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            code = lead & 0x1Fu;
            extra = 1;
            minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            code = lead & 0x0Fu;
            extra = 2;
            minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            code = lead & 0x07u;
            extra = 3;
            minimum = 0x10000;
        } else if (lead >= 0x80) {
            Fail(i);
        }
        if (text.size() - i <= extra) {
            Fail(i);
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                Fail(i);
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        // Overlong forms, UTF-16 surrogates and values beyond Unicode.
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            Fail(i);
        }
        Append(wide, code);
        i += extra + 1;
    }
    return wide;
}
