// The operations of a content stream, read with qpdf's tokenizer: each
// operator with its operands and the bytes they take, inline images whole.
#pragma once

#include <cstddef>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <qpdf/QPDFTokenizer.hh>

namespace rdz::formats::pdf {

/// A content stream that cannot be read as PDF content.
class ContentError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Operand {
    /// tt_array_open and tt_dict_open stand for a whole array or dictionary
    /// (their contents are not kept).
    QPDFTokenizer::token_type_e type = QPDFTokenizer::tt_null;
    /// Numbers as written, names with their slash and unescaped, strings
    /// unescaped.
    std::string value;

    bool IsNumber() const {
        return type == QPDFTokenizer::tt_integer || type == QPDFTokenizer::tt_real;
    }
    double Number() const;
};

struct Operation {
    std::string op;  // "k", "scn", "BI" (an inline image, BI to EI), ...
    std::vector<Operand> operands;
    /// Bytes [begin, end) of the content: the first operand (or the
    /// operator when it has none) to the end of the operator.
    std::size_t begin = 0;
    std::size_t end = 0;
    /// Inline images: the text of the dictionary between BI and ID, the
    /// image data between ID and EI.
    std::string imageDictionary;
    std::string imageData;
};

/// Calls `visit` for every operation of `data` in order. Throws ContentError
/// for a token qpdf cannot read, an unbalanced array or dictionary, or an
/// inline image without its end.
void ScanContent(const std::string& data, const std::function<void(const Operation&)>& visit);

}  // namespace rdz::formats::pdf
