#include "formats/pdf/ContentTokens.h"

#include <cstdlib>
#include <memory>

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>

namespace rdz::formats::pdf {
namespace {

/// More operands than any operator takes: the rest are not kept.
constexpr std::size_t kMaxOperands = 64;
constexpr int kMaxNesting = 256;

}  // namespace

double Operand::Number() const {
    return std::strtod(value.c_str(), nullptr);
}

void ScanContent(const std::string& data, const std::function<void(const Operation&)>& visit) {
    Buffer buffer(reinterpret_cast<unsigned char*>(const_cast<char*>(data.data())), data.size());
    auto input = std::make_shared<BufferInputSource>("content stream", &buffer, false);
    QPDFTokenizer tokenizer;
    tokenizer.allowEOF();

    Operation operation;
    bool started = false;
    int nesting = 0;  // inside an operand array or dictionary

    auto fail = [&](const std::string& why) {
        throw ContentError(why + " at byte " + std::to_string(input->getLastOffset()));
    };
    auto next = [&]() {
        QPDFTokenizer::Token token = tokenizer.readToken(input, "content stream", true);
        if (token.getType() == QPDFTokenizer::tt_bad) {
            fail("unreadable token (" + token.getErrorMessage() + ")");
        }
        return token;
    };
    auto start = [&]() {
        if (!started) {
            operation.begin = static_cast<std::size_t>(input->getLastOffset());
            started = true;
        }
    };

    for (;;) {
        const QPDFTokenizer::Token token = next();
        const QPDFTokenizer::token_type_e type = token.getType();
        if (type == QPDFTokenizer::tt_eof) {
            if (nesting != 0) {
                fail("an array or dictionary without its end");
            }
            return;  // operands without an operator at the end do nothing
        }
        const std::size_t tokenEnd =
            static_cast<std::size_t>(input->getLastOffset()) + token.getRawValue().size();
        if (type == QPDFTokenizer::tt_array_open || type == QPDFTokenizer::tt_dict_open) {
            start();
            if (nesting == 0) {
                if (operation.operands.size() < kMaxOperands) {
                    operation.operands.push_back({type, std::string()});
                }
            }
            if (++nesting > kMaxNesting) {
                fail("arrays nested too deeply");
            }
            continue;
        }
        if (type == QPDFTokenizer::tt_array_close || type == QPDFTokenizer::tt_dict_close) {
            if (nesting == 0) {
                fail("an array or dictionary end without its start");
            }
            --nesting;
            continue;
        }
        if (nesting > 0) {
            continue;  // inside an operand array: its items are not kept
        }
        if (type != QPDFTokenizer::tt_word) {
            start();
            if (operation.operands.size() < kMaxOperands) {
                operation.operands.push_back({type, token.getValue()});
            }
            continue;
        }
        start();
        operation.op = token.getValue();
        operation.end = tokenEnd;
        if (operation.op == "BI") {
            const std::size_t dictionaryStart = tokenEnd;
            std::size_t dictionaryEnd = dictionaryStart;
            for (;;) {
                const QPDFTokenizer::Token item = next();
                if (item.getType() == QPDFTokenizer::tt_eof) {
                    fail("an inline image without ID");
                }
                if (item.getType() == QPDFTokenizer::tt_word && item.getValue() == "ID") {
                    dictionaryEnd = static_cast<std::size_t>(input->getLastOffset());
                    break;
                }
            }
            operation.imageDictionary =
                data.substr(dictionaryStart, dictionaryEnd - dictionaryStart);
            tokenizer.expectInlineImage(input);
            const QPDFTokenizer::Token image = next();
            if (image.getType() != QPDFTokenizer::tt_inline_image) {
                fail("an inline image without its data");
            }
            // The data starts after the one white-space character that ends ID.
            operation.imageData = image.getValue();
            if (!operation.imageData.empty() &&
                (operation.imageData[0] == ' ' || operation.imageData[0] == '\n' ||
                 operation.imageData[0] == '\r' || operation.imageData[0] == '\t' ||
                 operation.imageData[0] == '\f' || operation.imageData[0] == '\0')) {
                const bool crlf = operation.imageData.size() > 1 &&
                                  operation.imageData[0] == '\r' && operation.imageData[1] == '\n';
                operation.imageData.erase(0, crlf ? 2 : 1);
            }
            const QPDFTokenizer::Token end = next();
            if (end.getType() != QPDFTokenizer::tt_word || end.getValue() != "EI") {
                fail("an inline image without EI");
            }
            operation.end = static_cast<std::size_t>(input->getLastOffset()) + 2;
        }
        visit(operation);
        operation = Operation();
        started = false;
    }
}

}  // namespace rdz::formats::pdf
