// The PostScript calculator of Type 4 functions: the operator subset PDF
// allows (arithmetic, relational, boolean and bitwise operators, stack
// operators, if and ifelse). Programs have no loops, so a run is bounded by
// the program's length.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rdz::formats::pdf {

class CalculatorProgram {
  public:
    /// Reads a program ("{ ... }", the text of a Type 4 function's stream).
    /// Throws FunctionError for an unknown operator, unbalanced braces or a
    /// procedure that is not the operand of if or ifelse.
    static CalculatorProgram Parse(const std::string& text);

    /// Runs the program on `inputs` (pushed in order) and returns the stack
    /// it leaves, bottom first, as numbers. Throws FunctionError on a stack
    /// underflow, an overflow (more than 100 entries), an operand of the
    /// wrong type or a division by zero.
    std::vector<double> Run(const std::vector<double>& inputs) const;

    /// One step of a program: a constant, an operator, or a conditional
    /// whose procedures are blocks of the program.
    struct Step {
        enum Kind : std::uint8_t { Number, Integer, Boolean, Operator, If, IfElse } kind;
        double value = 0.0;  // Number, Integer, Boolean (0/1)
        int code = 0;        // Operator: its code; If/IfElse: the block run when true
        int otherwise = -1;  // IfElse: the block run when false
    };

  private:
    std::vector<std::vector<Step>> blocks_;  // block 0 is the program
};

}  // namespace rdz::formats::pdf
