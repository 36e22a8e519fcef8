#include "platform/win32/WideText.h"

namespace rdz_win32 {

bool WideToUtf8(const std::wstring& wide, std::string& utf8) {
    std::string out;
    out.reserve(wide.size());
    for (wchar_t c : wide) {
        const auto code = static_cast<unsigned long>(c);
        if (code < 0x80) {
            out.push_back(static_cast<char>(code));
        } else if (code < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code < 0x10000) {
            if (code >= 0xD800 && code <= 0xDFFF) {
                return false;
            }
            out.push_back(static_cast<char>(0xE0 | (code >> 12)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else if (code <= 0x10FFFF) {
            out.push_back(static_cast<char>(0xF0 | (code >> 18)));
            out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        } else {
            return false;
        }
    }
    utf8.swap(out);
    return true;
}

bool Utf8ToWide(const std::string& utf8, std::wstring& wide) {
    std::wstring out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        unsigned long code = 0;
        std::size_t extra = 0;
        unsigned long minimum = 0;
        if (lead < 0x80) {
            code = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
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
        } else {
            return false;
        }
        if (utf8.size() - i <= extra) {
            return false;
        }
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            code = (code << 6) | (next & 0x3Fu);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return false;
        }
        out.push_back(static_cast<wchar_t>(code));
        i += extra + 1;
    }
    wide.swap(out);
    return true;
}

std::size_t WideLength(const wchar_t* text) {
    std::size_t length = 0;
    if (text != nullptr) {
        while (text[length] != L'\0') {
            ++length;
        }
    }
    return length;
}

}  // namespace rdz_win32
