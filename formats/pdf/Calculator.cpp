#include "formats/pdf/Calculator.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include <qpdf/Buffer.hh>
#include <qpdf/BufferInputSource.hh>
#include <qpdf/QPDFTokenizer.hh>

#include "formats/pdf/Functions.h"

namespace rdz::formats::pdf {
namespace {

enum Op : int {
    kAbs,
    kAdd,
    kAtan,
    kCeiling,
    kCos,
    kCvi,
    kCvr,
    kDiv,
    kExp,
    kFloor,
    kIdiv,
    kLn,
    kLog,
    kMod,
    kMul,
    kNeg,
    kRound,
    kSin,
    kSqrt,
    kSub,
    kTruncate,
    kAnd,
    kBitshift,
    kEq,
    kGe,
    kGt,
    kLe,
    kLt,
    kNe,
    kNot,
    kOr,
    kXor,
    kCopy,
    kDup,
    kExch,
    kIndex,
    kPop,
    kRoll,
};

struct Named {
    const char* name;
    Op op;
};
constexpr Named kOperators[] = {
    {"abs", kAbs},
    {"add", kAdd},
    {"atan", kAtan},
    {"ceiling", kCeiling},
    {"cos", kCos},
    {"cvi", kCvi},
    {"cvr", kCvr},
    {"div", kDiv},
    {"exp", kExp},
    {"floor", kFloor},
    {"idiv", kIdiv},
    {"ln", kLn},
    {"log", kLog},
    {"mod", kMod},
    {"mul", kMul},
    {"neg", kNeg},
    {"round", kRound},
    {"sin", kSin},
    {"sqrt", kSqrt},
    {"sub", kSub},
    {"truncate", kTruncate},
    {"and", kAnd},
    {"bitshift", kBitshift},
    {"eq", kEq},
    {"ge", kGe},
    {"gt", kGt},
    {"le", kLe},
    {"lt", kLt},
    {"ne", kNe},
    {"not", kNot},
    {"or", kOr},
    {"xor", kXor},
    {"copy", kCopy},
    {"dup", kDup},
    {"exch", kExch},
    {"index", kIndex},
    {"pop", kPop},
    {"roll", kRoll},
};

constexpr std::size_t kStackLimit = 100;
constexpr int kDepthLimit = 100;

using Step = CalculatorProgram::Step;

struct Value {
    double v = 0.0;
    Step::Kind kind = Step::Number;  // Number, Integer or Boolean
};

[[noreturn]] void Fail(const std::string& why) {
    throw FunctionError("calculator function: " + why);
}

class Machine {
  public:
    explicit Machine(const std::vector<std::vector<Step>>& blocks) : blocks_(blocks) {}

    void Push(Value value) {
        if (stack_.size() >= kStackLimit) {
            Fail("stack overflow");
        }
        stack_.push_back(value);
    }
    Value Pop() {
        if (stack_.empty()) {
            Fail("stack underflow");
        }
        Value value = stack_.back();
        stack_.pop_back();
        return value;
    }
    double PopNumber() {
        const Value value = Pop();
        if (value.kind == Step::Boolean) {
            Fail("a number was expected");
        }
        return value.v;
    }
    long long PopInteger() {
        const Value value = Pop();
        if (value.kind != Step::Integer) {
            Fail("an integer was expected");
        }
        return static_cast<long long>(value.v);
    }
    static Value Number(double v) { return {v, Step::Number}; }
    static Value Integer(double v) {
        if (!(std::fabs(v) < 9.0e15)) {
            Fail("an integer out of range");
        }
        return {v, Step::Integer};
    }
    static Value Boolean(bool b) { return {b ? 1.0 : 0.0, Step::Boolean}; }

    void Run(int block, int depth) {
        if (depth > kDepthLimit) {
            Fail("procedures nested too deeply");
        }
        for (const Step& step : blocks_[static_cast<std::size_t>(block)]) {
            switch (step.kind) {
                case Step::Number:
                case Step::Integer:
                case Step::Boolean:
                    Push({step.value, step.kind});
                    break;
                case Step::If:
                case Step::IfElse: {
                    const Value condition = Pop();
                    if (condition.kind != Step::Boolean) {
                        Fail("if and ifelse take a boolean");
                    }
                    if (condition.v != 0.0) {
                        Run(step.code, depth + 1);
                    } else if (step.kind == Step::IfElse) {
                        Run(step.otherwise, depth + 1);
                    }
                    break;
                }
                case Step::Operator:
                    Apply(static_cast<Op>(step.code));
                    break;
            }
        }
    }

    const std::vector<Value>& Stack() const { return stack_; }

  private:
    /// Pushes the result of an arithmetic operator: an integer when both
    /// operands were integers and the result stays one.
    void PushArithmetic(const Value& a, const Value& b, double result) {
        if (a.kind == Step::Integer && b.kind == Step::Integer && std::fabs(result) < 9.0e15) {
            Push(Integer(result));
        } else {
            Push(Number(result));
        }
    }

    void Apply(Op op) {
        switch (op) {
            case kAdd:
            case kSub:
            case kMul: {
                const Value b = Pop(), a = Pop();
                if (a.kind == Step::Boolean || b.kind == Step::Boolean) {
                    Fail("a number was expected");
                }
                PushArithmetic(a, b, op == kAdd ? a.v + b.v : op == kSub ? a.v - b.v : a.v * b.v);
                break;
            }
            case kDiv: {
                const double b = PopNumber(), a = PopNumber();
                if (b == 0.0) {
                    Fail("division by zero");
                }
                Push(Number(a / b));
                break;
            }
            case kIdiv:
            case kMod: {
                const long long b = PopInteger(), a = PopInteger();
                if (b == 0) {
                    Fail("division by zero");
                }
                Push(Integer(static_cast<double>(op == kIdiv ? a / b : a % b)));
                break;
            }
            case kAbs:
            case kNeg: {
                const Value a = Pop();
                if (a.kind == Step::Boolean) {
                    Fail("a number was expected");
                }
                Push({op == kAbs ? std::fabs(a.v) : -a.v, a.kind});
                break;
            }
            case kCeiling:
            case kFloor:
            case kRound:
            case kTruncate: {
                const Value a = Pop();
                if (a.kind == Step::Boolean) {
                    Fail("a number was expected");
                }
                const double r = op == kCeiling ? std::ceil(a.v)
                                 : op == kFloor ? std::floor(a.v)
                                 : op == kRound ? std::floor(a.v + 0.5)
                                                : std::trunc(a.v);
                Push({r, a.kind});
                break;
            }
            case kSqrt: {
                const double a = PopNumber();
                if (a < 0.0) {
                    Fail("square root of a negative number");
                }
                Push(Number(std::sqrt(a)));
                break;
            }
            case kSin:
            case kCos: {
                const double degrees = PopNumber();
                const double radians = degrees * M_PI / 180.0;
                Push(Number(op == kSin ? std::sin(radians) : std::cos(radians)));
                break;
            }
            case kAtan: {
                const double den = PopNumber(), num = PopNumber();
                if (num == 0.0 && den == 0.0) {
                    Fail("atan of 0 and 0");
                }
                double degrees = std::atan2(num, den) * 180.0 / M_PI;
                if (degrees < 0.0) {
                    degrees += 360.0;
                }
                Push(Number(degrees));
                break;
            }
            case kExp: {
                const double e = PopNumber(), base = PopNumber();
                const double r = std::pow(base, e);
                if (!std::isfinite(r)) {
                    Fail("exp out of range");
                }
                Push(Number(r));
                break;
            }
            case kLn:
            case kLog: {
                const double a = PopNumber();
                if (a <= 0.0) {
                    Fail("logarithm of a number that is not positive");
                }
                Push(Number(op == kLn ? std::log(a) : std::log10(a)));
                break;
            }
            case kCvi: {
                const double a = PopNumber();
                Push(Integer(std::trunc(a)));
                break;
            }
            case kCvr:
                Push(Number(PopNumber()));
                break;
            case kEq:
            case kNe:
            case kGe:
            case kGt:
            case kLe:
            case kLt: {
                const Value b = Pop(), a = Pop();
                if ((a.kind == Step::Boolean) != (b.kind == Step::Boolean) && op != kEq &&
                    op != kNe) {
                    Fail("comparison of a boolean and a number");
                }
                bool r = false;
                switch (op) {
                    case kEq:
                        r = a.v == b.v && (a.kind == Step::Boolean) == (b.kind == Step::Boolean);
                        break;
                    case kNe:
                        r = !(a.v == b.v && (a.kind == Step::Boolean) == (b.kind == Step::Boolean));
                        break;
                    case kGe:
                        r = a.v >= b.v;
                        break;
                    case kGt:
                        r = a.v > b.v;
                        break;
                    case kLe:
                        r = a.v <= b.v;
                        break;
                    default:
                        r = a.v < b.v;
                        break;
                }
                Push(Boolean(r));
                break;
            }
            case kAnd:
            case kOr:
            case kXor: {
                const Value b = Pop(), a = Pop();
                if (a.kind == Step::Boolean && b.kind == Step::Boolean) {
                    const bool x = a.v != 0.0, y = b.v != 0.0;
                    Push(Boolean(op == kAnd ? (x && y) : op == kOr ? (x || y) : (x != y)));
                } else if (a.kind == Step::Integer && b.kind == Step::Integer) {
                    const long long x = static_cast<long long>(a.v),
                                    y = static_cast<long long>(b.v);
                    Push(Integer(static_cast<double>(op == kAnd  ? (x & y)
                                                     : op == kOr ? (x | y)
                                                                 : (x ^ y))));
                } else {
                    Fail("and, or and xor take two booleans or two integers");
                }
                break;
            }
            case kNot: {
                const Value a = Pop();
                if (a.kind == Step::Boolean) {
                    Push(Boolean(a.v == 0.0));
                } else if (a.kind == Step::Integer) {
                    Push(Integer(static_cast<double>(~static_cast<long long>(a.v))));
                } else {
                    Fail("not takes a boolean or an integer");
                }
                break;
            }
            case kBitshift: {
                const long long shift = PopInteger(), a = PopInteger();
                if (shift > 62 || shift < -62) {
                    Push(Integer(0.0));
                } else if (shift >= 0) {
                    Push(Integer(static_cast<double>(
                        static_cast<long long>(static_cast<unsigned long long>(a) << shift) &
                        0xFFFFFFFFLL)));
                } else {
                    Push(Integer(static_cast<double>(a >> -shift)));
                }
                break;
            }
            case kDup: {
                const Value a = Pop();
                Push(a);
                Push(a);
                break;
            }
            case kExch: {
                const Value b = Pop(), a = Pop();
                Push(b);
                Push(a);
                break;
            }
            case kPop:
                Pop();
                break;
            case kCopy: {
                const long long n = PopInteger();
                if (n < 0 || static_cast<std::size_t>(n) > stack_.size()) {
                    Fail("copy out of range");
                }
                const std::size_t from = stack_.size() - static_cast<std::size_t>(n);
                for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
                    Push(stack_[from + i]);
                }
                break;
            }
            case kIndex: {
                const long long n = PopInteger();
                if (n < 0 || static_cast<std::size_t>(n) >= stack_.size()) {
                    Fail("index out of range");
                }
                Push(stack_[stack_.size() - 1 - static_cast<std::size_t>(n)]);
                break;
            }
            case kRoll: {
                long long j = PopInteger();
                const long long n = PopInteger();
                if (n < 0 || static_cast<std::size_t>(n) > stack_.size()) {
                    Fail("roll out of range");
                }
                if (n == 0) {
                    break;
                }
                j %= n;
                if (j < 0) {
                    j += n;
                }
                // Rolling up by j: the top j entries move below the others.
                const auto first = stack_.end() - n;
                std::rotate(first, stack_.end() - j, stack_.end());
                break;
            }
        }
    }

    const std::vector<std::vector<Step>>& blocks_;
    std::vector<Value> stack_;
};

class Parser {
  public:
    explicit Parser(const std::string& text)
        : buffer_(reinterpret_cast<unsigned char*>(const_cast<char*>(text.data())), text.size()),
          input_(std::make_shared<BufferInputSource>("calculator function", &buffer_, false)) {
        tokenizer_.allowEOF();
    }

    void ParseProgram(std::vector<std::vector<Step>>& blocks) {
        const QPDFTokenizer::Token first = Next();
        if (first.getType() != QPDFTokenizer::tt_brace_open) {
            Fail("the program does not start with {");
        }
        blocks.emplace_back();
        ParseBlock(blocks, 0, 0);
        const QPDFTokenizer::Token rest = Next();
        if (rest.getType() != QPDFTokenizer::tt_eof) {
            Fail("text after the program");
        }
    }

  private:
    QPDFTokenizer::Token Next() {
        return tokenizer_.readToken(input_, "calculator function", true, 64);
    }

    /// Reads the steps of `block` up to its closing brace.
    void ParseBlock(std::vector<std::vector<Step>>& blocks, int block, int depth) {
        if (depth > kDepthLimit) {
            Fail("procedures nested too deeply");
        }
        std::vector<int> pending;  // procedures read but not yet used by if/ifelse
        for (;;) {
            const QPDFTokenizer::Token token = Next();
            Step step{};
            switch (token.getType()) {
                case QPDFTokenizer::tt_brace_close:
                    if (!pending.empty()) {
                        Fail("a procedure that is not the operand of if or ifelse");
                    }
                    return;
                case QPDFTokenizer::tt_brace_open: {
                    const int inner = static_cast<int>(blocks.size());
                    blocks.emplace_back();
                    ParseBlock(blocks, inner, depth + 1);
                    pending.push_back(inner);
                    continue;
                }
                case QPDFTokenizer::tt_integer:
                    step.kind = Step::Integer;
                    step.value = std::strtod(token.getValue().c_str(), nullptr);
                    break;
                case QPDFTokenizer::tt_real:
                    step.kind = Step::Number;
                    step.value = std::strtod(token.getValue().c_str(), nullptr);
                    break;
                case QPDFTokenizer::tt_bool:
                    step.kind = Step::Boolean;
                    step.value = token.getValue() == "true" ? 1.0 : 0.0;
                    break;
                case QPDFTokenizer::tt_word: {
                    const std::string& word = token.getValue();
                    if (word == "if" || word == "ifelse") {
                        const std::size_t needed = word == "if" ? 1 : 2;
                        if (pending.size() != needed) {
                            Fail(word + " without its procedure");
                        }
                        step.kind = word == "if" ? Step::If : Step::IfElse;
                        step.code = pending[0];
                        step.otherwise = needed == 2 ? pending[1] : -1;
                        pending.clear();
                        break;
                    }
                    if (word == "true" || word == "false") {
                        step.kind = Step::Boolean;
                        step.value = word == "true" ? 1.0 : 0.0;
                        break;
                    }
                    bool known = false;
                    for (const Named& named : kOperators) {
                        if (word == named.name) {
                            step.kind = Step::Operator;
                            step.code = named.op;
                            known = true;
                            break;
                        }
                    }
                    if (!known) {
                        Fail("unknown operator '" + word.substr(0, 32) + "'");
                    }
                    break;
                }
                case QPDFTokenizer::tt_eof:
                    Fail("the program ends before its closing brace");
                default:
                    Fail("unexpected token in the program");
            }
            if (!pending.empty()) {
                Fail("a procedure that is not the operand of if or ifelse");
            }
            if (!std::isfinite(step.value)) {
                Fail("a number out of range");
            }
            blocks[static_cast<std::size_t>(block)].push_back(step);
        }
    }

    Buffer buffer_;
    std::shared_ptr<InputSource> input_;
    QPDFTokenizer tokenizer_;
};

}  // namespace

CalculatorProgram CalculatorProgram::Parse(const std::string& text) {
    CalculatorProgram program;
    Parser(text).ParseProgram(program.blocks_);
    return program;
}

std::vector<double> CalculatorProgram::Run(const std::vector<double>& inputs) const {
    Machine machine(blocks_);
    for (double input : inputs) {
        machine.Push(Machine::Number(input));
    }
    machine.Run(0, 0);
    std::vector<double> out;
    out.reserve(machine.Stack().size());
    for (const Value& value : machine.Stack()) {
        out.push_back(value.v);
    }
    return out;
}

}  // namespace rdz::formats::pdf
