#include "splitting/Json5Lite.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale>
#include <sstream>

namespace zarvex {

namespace {

constexpr int MaxDepth = 32;
constexpr size_t MaxValues = 1000000;

class TJson5Parser {
public:
    explicit TJson5Parser(const std::string& text) : Text(text) {}

    TJsonValue Document() {
        TJsonValue v = Value(0);
        Space();
        if (Pos != Text.size())
            Fail("has more after its end");
        return v;
    }

private:
    const std::string& Text;
    size_t Pos = 0;
    int Line = 1;
    size_t Count = 0;

    [[noreturn]] void Fail(const std::string& why) { throw EJson5Error(Line, why); }
    char Peek() const { return Pos < Text.size() ? Text[Pos] : '\0'; }
    char Take() {
        const char c = Text[Pos++];
        if (c == '\n')
            ++Line;
        return c;
    }
    bool At(const char* word) const { return Text.compare(Pos, std::strlen(word), word) == 0; }

    void Space() {
        while (Pos < Text.size()) {
            const char c = Peek();
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
                Take();
            } else if (At("//")) {
                while (Pos < Text.size() && Peek() != '\n')
                    Take();
            } else if (At("/*")) {
                Pos += 2;
                while (Pos < Text.size() && !At("*/"))
                    Take();
                if (Pos >= Text.size())
                    Fail("ends inside a comment");
                Pos += 2;
            } else if (At("\xEF\xBB\xBF")) {
                Pos += 3;
            } else {
                return;
            }
        }
    }

    TJsonValue Value(int depth) {
        if (depth > MaxDepth)
            Fail("nests too deep");
        if (++Count > MaxValues)
            Fail("holds too many values");
        Space();
        TJsonValue v;
        v.Line = Line;
        const char c = Peek();
        if (c == '{' || c == '[') {
            Take();
            v.Kind = c == '{' ? TJsonValue::Object : TJsonValue::Array;
            const char close = c == '{' ? '}' : ']';
            for (;;) {
                Space();
                if (Peek() == close) {
                    Take();
                    return v;
                }
                if (v.Kind == TJsonValue::Object) {
                    std::string key = Key();
                    Space();
                    if (Peek() != ':')
                        Fail("has no ':' after a key");
                    Take();
                    v.Keys.push_back(std::move(key));
                    v.Items.push_back(Value(depth + 1));
                } else {
                    v.Items.push_back(Value(depth + 1));
                }
                Space();
                if (Peek() == ',')
                    Take();
                else if (Peek() != close)
                    Fail("has no ',' between two values");
            }
        }
        if (c == '"' || c == '\'') {
            v.Kind = TJsonValue::String;
            v.Text = Quoted();
            return v;
        }
        for (const char* word : {"true", "false", "null"})
            if (At(word)) {
                Pos += std::strlen(word);
                v.Kind = *word == 'n' ? TJsonValue::Null : TJsonValue::Bool;
                v.Flag = *word == 't';
                return v;
            }
        v.Kind = TJsonValue::Number;
        v.Value = Number();
        return v;
    }

    std::string Key() {
        const char c = Peek();
        if (c == '"' || c == '\'')
            return Quoted();
        std::string key;
        while (std::isalnum(static_cast<unsigned char>(Peek())) || Peek() == '_' || Peek() == '$')
            key += Take();
        if (key.empty())
            Fail("has a key that cannot be read");
        return key;
    }

    std::string Quoted() {
        const char quote = Take();
        std::string out;
        for (;;) {
            if (Pos >= Text.size())
                Fail("ends inside a string");
            const char c = Take();
            if (c == quote)
                return out;
            if (c == '\n')
                Fail("has a line break inside a string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (Pos >= Text.size())
                Fail("ends inside a string");
            const char e = Take();
            switch (e) {
            case 'n':
                out += '\n';
                break;
            case 't':
                out += '\t';
                break;
            case 'r':
                out += '\r';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case 'v':
                out += '\v';
                break;
            case '0':
                out += '\0';
                break;
            case '\n':
                break; // a line continued
            case 'x':
            case 'u': {
                const size_t n = e == 'x' ? 2 : 4;
                if (Pos + n > Text.size())
                    Fail("has a bad escape");
                const std::string hex = Text.substr(Pos, n);
                char* end = nullptr;
                const unsigned long code = std::strtoul(hex.c_str(), &end, 16);
                if (end != hex.c_str() + n)
                    Fail("has a bad escape");
                Pos += n;
                // UTF-8; a lone surrogate half passes as its own three bytes.
                if (code < 0x80) {
                    out += char(code);
                } else if (code < 0x800) {
                    out += char(0xC0 | (code >> 6));
                    out += char(0x80 | (code & 0x3F));
                } else {
                    out += char(0xE0 | (code >> 12));
                    out += char(0x80 | ((code >> 6) & 0x3F));
                    out += char(0x80 | (code & 0x3F));
                }
                break;
            }
            default:
                out += e;
            }
        }
    }

    double Number() {
        double sign = 1;
        if (Peek() == '+' || Peek() == '-')
            sign = Take() == '-' ? -1 : 1;
        if (At("Infinity")) {
            Pos += 8;
            return sign * HUGE_VAL;
        }
        if (At("NaN")) {
            Pos += 3;
            return NAN;
        }
        const size_t start = Pos;
        if (At("0x") || At("0X")) {
            Pos += 2;
            while (std::isxdigit(static_cast<unsigned char>(Peek())))
                ++Pos;
            if (Pos == start + 2 || Pos - start > 18)
                Fail("has a number that cannot be read");
            return sign * double(std::strtoull(Text.c_str() + start + 2, nullptr, 16));
        }
        while (std::isdigit(static_cast<unsigned char>(Peek())) || Peek() == '.' || Peek() == 'e' ||
               Peek() == 'E' ||
               ((Peek() == '+' || Peek() == '-') && Pos > start &&
                (Text[Pos - 1] == 'e' || Text[Pos - 1] == 'E')))
            ++Pos;
        std::istringstream in(Text.substr(start, Pos - start));
        in.imbue(std::locale::classic());
        double v = 0;
        if (Pos == start || !(in >> v) || in.peek() != std::char_traits<char>::eof())
            Fail("has a value that cannot be read");
        return sign * v;
    }
};

} // namespace

const TJsonValue* TJsonValue::Member(const std::string& key) const {
    if (Kind != Object)
        return nullptr;
    for (size_t i = Keys.size(); i > 0; --i)
        if (Keys[i - 1] == key)
            return &Items[i - 1];
    return nullptr;
}

TJsonValue ParseJson5(const std::string& text) {
    return TJson5Parser(text).Document();
}

std::string Json5String(const std::string& text) {
    std::string out = "'";
    for (const char c : text) {
        if (c == '\'' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            static const char* hex = "0123456789abcdef";
            out += "\\x";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += c;
        }
    }
    return out + "'";
}

} // namespace zarvex
