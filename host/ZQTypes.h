// Host type library: strings, URLs and the host exception.
#pragma once

#include <string>

/// A text.
class ZQ_TString {
public:
    ZQ_TString();
    /// The first `length` bytes of `text`; 0xFFFFFFFF means the whole text.
    ZQ_TString(const char* text, unsigned int length);
    const char* GetText() const;
    const std::string& Str() const { return text_; }

private:
    std::string text_;
};

/// Exception of the host libraries; carries a message text.
class ZQ_EException {
public:
    explicit ZQ_EException(std::string message);
    virtual ~ZQ_EException();
    const char* GetMessage() const;

private:
    std::string message_;
};

/// A URL.
class ZQ_TURL {
public:
    /// Parses a `file:` URL (percent-encoded) or a plain path. Throws
    /// ZQ_EException for another scheme or a malformed URL.
    static ZQ_TURL FromString(const ZQ_TString& text);
    /// The local file-system path the URL names.
    ZQ_TString LocalName() const;

private:
    std::string path_;
};
