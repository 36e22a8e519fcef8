#include <cctype>
#include <stdexcept>

#include "host/UTF8FS.h"
#include "host/ZQTypes.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

// RFC 3986 scheme of at least two characters: one letter before the colon
// is a drive letter ("C:/links/a.icc"), which makes the text a plain path.
bool IsScheme(const std::string& text) {
    if (text.size() < 2 || !std::isalpha(static_cast<unsigned char>(text[0]))) {
        return false;
    }
    for (char c : text) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '+' && c != '-' && c != '.') {
            return false;
        }
    }
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string PercentDecode(const std::string& text) {
    std::string decoded;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded.push_back(text[i]);
            continue;
        }
        const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            throw ZQ_EException("malformed percent-encoding in URL");
        }
        if (high == 0 && low == 0) {
            throw ZQ_EException("URL holds an encoded zero byte");
        }
        decoded.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return decoded;
}

std::string FilePath(std::string rest) {
    // Query and fragment name nothing in the file system.
    rest = rest.substr(0, rest.find_first_of("?#"));
    if (rest.compare(0, 2, "//") == 0) {
        const std::size_t slash = rest.find('/', 2);
        const std::string host = rest.substr(2, slash == std::string::npos ? slash : slash - 2);
        if (!host.empty() && Lower(host) != "localhost") {
            throw ZQ_EException("file URL for another host '" + host + "'");
        }
        rest = slash == std::string::npos ? std::string() : rest.substr(slash);
    }
    if (rest.empty() || rest[0] != '/') {
        throw ZQ_EException("file URL without an absolute path");
    }
    std::string path = PercentDecode(rest);
#ifdef _WIN32
    // "/C:/links/a.icc" names the drive.
    if (path.size() >= 3 && path[2] == ':' && std::isalpha(static_cast<unsigned char>(path[1]))) {
        path.erase(0, 1);
    }
#endif
    try {
        Utf8ToUnicode(path);
    } catch (const std::invalid_argument&) {
        throw ZQ_EException("URL path is not UTF-8");
    }
    return path;
}

}  // namespace

ZQ_TURL ZQ_TURL::FromString(const ZQ_TString& text) {
    const std::string& value = text.Str();
    if (value.empty()) {
        throw ZQ_EException("empty URL");
    }
    ZQ_TURL url;
    const std::size_t colon = value.find(':');
    if (colon != std::string::npos && IsScheme(value.substr(0, colon))) {
        const std::string scheme = Lower(value.substr(0, colon));
        if (scheme != "file") {
            throw ZQ_EException("unsupported URL scheme '" + scheme + "'");
        }
        url.path_ = FilePath(value.substr(colon + 1));
    } else {
        url.path_ = value;  // a plain path, taken as it stands
    }
    return url;
}

ZQ_TString ZQ_TURL::LocalName() const {
    return ZQ_TString(path_.data(), static_cast<unsigned int>(path_.size()));
}
