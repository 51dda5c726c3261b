#include "avi_input/FourCC.h"

#include <cctype>

namespace zarvex {

std::string FourCCToStr(uint32_t code) {
    if (code == 0)
        return {};
    std::string s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[i] = char((code >> (8 * i)) & 0xFF);
    return s;
}

uint32_t StrToFourCC(const std::string& text) {
    std::string s = text;
    if (s.size() < 4)
        s.append(4 - s.size(), ' ');
    return MakeFourCC(s[0], s[1], s[2], s[3]);
}

uint32_t UpperFourCC(uint32_t code) {
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8)
        out |= uint32_t(std::toupper(int(code >> shift & 0xFF))) << shift;
    return out;
}

} // namespace zarvex
