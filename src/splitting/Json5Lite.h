// Just enough JSON5 for LosslessCut's project files: objects, arrays, strings, numbers, true,
// false and null, with comments, unquoted keys and trailing commas. Bounded in depth and size.
#pragma once

#include "support/Errors.h"

#include <string>
#include <vector>

namespace zarvex {

// Where the text stops being JSON5.
class EJson5Error : public EZarvexError {
public:
    EJson5Error(int line, const std::string& why)
        : EZarvexError("Line " + std::to_string(line) + " of the project file " + why), Line(line) {
    }
    int Line;
};

struct TJsonValue {
    enum TKind { Null, Bool, Number, String, Array, Object } Kind = Null;
    bool Flag = false;
    double Value = 0;
    std::string Text;
    std::vector<TJsonValue> Items; // of an array, or the values of an object's keys
    std::vector<std::string> Keys; // in order; the last of a key counts
    int Line = 1;                  // where the value starts

    const TJsonValue* Member(const std::string& key) const;
};

// Raises EJson5Error.
TJsonValue ParseJson5(const std::string& text);

// A JSON5 string literal, in single quotes.
std::string Json5String(const std::string& text);

} // namespace zarvex
