#include "platform/cms/Names.h"

#include <cstring>

namespace rdz::cms {

namespace {
char Fold(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

std::string FoldCase(const std::string& text) {
    std::string folded(text);
    for (char& c : folded)
        c = Fold(c);
    return folded;
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    }
    return true;
}

void CopyName(const std::string& text, char* buffer) {
    if (buffer == nullptr)
        return;
    std::size_t length = text.size();
    if (length > kNameBufferSize - 1) {
        length = kNameBufferSize - 1;
        // Step back over continuation bytes so that no character is cut in half.
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80)
            --length;
    }
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
}

}  // namespace rdz::cms
