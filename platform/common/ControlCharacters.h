// Control characters in names and message lines, shared by the host
// stand-ins (header only, so that each stand-in library stays on its own).
//
// A control character is a C0 control (bytes 0x00 to 0x1F), DEL (0x7F) or a
// C1 control (U+0080 to U+009F, in UTF-8 the bytes C2 80 to C2 9F). Terminals
// act on them (a newline starts a new message line, ESC starts a terminal
// command), so text that comes from files or users is escaped before it is
// printed as part of a message.
#pragma once

#include <cstddef>
#include <string>

namespace rdz::platform {

namespace detail {

inline bool IsC1At(const std::string& text, std::size_t i) {
    return i + 1 < text.size() && static_cast<unsigned char>(text[i]) == 0xC2 &&
           static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
           static_cast<unsigned char>(text[i + 1]) <= 0x9F;
}

inline void AppendHexEscape(std::string& out, unsigned char byte) {
    static const char kDigits[] = "0123456789ABCDEF";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0x0F];
}

}  // namespace detail

/// True when `text` holds a control character (see above).
inline bool HasControlCharacter(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F || detail::IsC1At(text, i))
            return true;
    }
    return false;
}

/// `text` with every control character escaped: "\n", "\r" and "\t" for
/// those three, "\xNN" (two upper-case hex digits per byte) for the others,
/// C1 controls as their two UTF-8 bytes ("\xC2\x9B"). Everything else stays
/// as it is: other characters, bytes that are not UTF-8 (a file name may
/// hold them, and a UTF-8 terminal shows them as replacement characters, it
/// does not act on them) and backslashes, so that escaping twice changes
/// nothing and paths keep their backslashes.
inline std::string EscapeControlCharacters(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
            ++i;
        } else if (c == '\n') {
            out += "\\n";
            ++i;
        } else if (c == '\r') {
            out += "\\r";
            ++i;
        } else if (c == '\t') {
            out += "\\t";
            ++i;
        } else if (c < 0x80) {
            detail::AppendHexEscape(out, c);  // the other C0 controls and DEL
            ++i;
        } else if (detail::IsC1At(text, i)) {
            detail::AppendHexEscape(out, c);
            detail::AppendHexEscape(out, static_cast<unsigned char>(text[i + 1]));
            i += 2;
        } else {
            out += static_cast<char>(c);  // other UTF-8, or bytes that are not UTF-8
            ++i;
        }
    }
    return out;
}

/// `text` as one printable message line: one newline at its end is dropped
/// (it ends the line, it is not part of it) and the rest is escaped as
/// EscapeControlCharacters does.
inline std::string EscapeLine(const std::string& text) {
    const bool newline = !text.empty() && text.back() == '\n';
    return EscapeControlCharacters(newline ? text.substr(0, text.size() - 1) : text);
}

}  // namespace rdz::platform
