#include "engine/icm/TintICMPostScript.h"

#include <climits>
#include <string>
#include <string_view>
#include <vector>

std::size_t TintICMPostScriptLength(const char* data, std::size_t size, bool binary) {
    std::size_t textLength = 0;
    while (textLength < size && data[textLength] != '\0') {
        ++textLength;
    }
    if (!binary) {
        return textLength;
    }
    const std::string_view text(data, textLength);
    const std::size_t begin = text.find("Begin");
    if (begin == std::string_view::npos) {
        return size;
    }
    const std::string marker = std::string(text.substr(0, begin)) + "End ";
    const std::size_t end = text.find(marker);
    return end == std::string_view::npos ? size : end + marker.size();
}

bool TintICMWritePostScript(const TintICMPostScriptSource& source, TintPostScriptWriter writer,
                            void* userData) {
    if (writer == nullptr) {
        return false;
    }
    DWORD size = 0;
    BOOL binary = FALSE;
    if (!source(nullptr, &size, &binary) || size == 0 || size >= INT_MAX) {
        return false;
    }
    // The extra zero byte ends the text even when the data has none.
    std::vector<BYTE> buffer(std::size_t(size) + 1, 0);
    DWORD filled = size;
    binary = FALSE;
    if (!source(buffer.data(), &filled, &binary)) {
        return false;
    }
    const std::size_t available = filled < size ? filled : size;
    const int length = static_cast<int>(TintICMPostScriptLength(
        reinterpret_cast<const char*>(buffer.data()), available, binary != FALSE));
    return writer(length, reinterpret_cast<const char*>(buffer.data()), userData) == length;
}
