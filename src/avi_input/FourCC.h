// Four-character codes: the first character is the low byte of the u32.
#pragma once

#include <cstdint>
#include <string>

namespace zarvex {

constexpr uint32_t MakeFourCC(char a, char b, char c, char d) {
    return uint32_t(uint8_t(a)) | uint32_t(uint8_t(b)) << 8 | uint32_t(uint8_t(c)) << 16 |
           uint32_t(uint8_t(d)) << 24;
}

inline constexpr uint32_t ckRIFF = MakeFourCC('R', 'I', 'F', 'F');
inline constexpr uint32_t ckLIST = MakeFourCC('L', 'I', 'S', 'T');
inline constexpr uint32_t ckJUNK = MakeFourCC('J', 'U', 'N', 'K');
inline constexpr uint32_t formAVI = MakeFourCC('A', 'V', 'I', ' ');
inline constexpr uint32_t formAVIX = MakeFourCC('A', 'V', 'I', 'X');
inline constexpr uint32_t listHdrl = MakeFourCC('h', 'd', 'r', 'l');
inline constexpr uint32_t listStrl = MakeFourCC('s', 't', 'r', 'l');
inline constexpr uint32_t listOdml = MakeFourCC('o', 'd', 'm', 'l');
inline constexpr uint32_t listMovi = MakeFourCC('m', 'o', 'v', 'i');
inline constexpr uint32_t ckAvih = MakeFourCC('a', 'v', 'i', 'h');
inline constexpr uint32_t ckStrh = MakeFourCC('s', 't', 'r', 'h');
inline constexpr uint32_t ckStrf = MakeFourCC('s', 't', 'r', 'f');
inline constexpr uint32_t ckIndx = MakeFourCC('i', 'n', 'd', 'x');
inline constexpr uint32_t ckIdx1 = MakeFourCC('i', 'd', 'x', '1');
inline constexpr uint32_t ckDmlh = MakeFourCC('d', 'm', 'l', 'h');
inline constexpr uint32_t streamVids = MakeFourCC('v', 'i', 'd', 's');
inline constexpr uint32_t streamAuds = MakeFourCC('a', 'u', 'd', 's');
inline constexpr uint32_t streamIavs = MakeFourCC('i', 'a', 'v', 's');

// 0 gives ""; any other code gives exactly four characters, low byte first.
std::string FourCCToStr(uint32_t code);
// Pads with blanks to four characters and takes the first four.
uint32_t StrToFourCC(const std::string& text);
// The code with its letters in upper case, for codec codes that writers spell either way.
uint32_t UpperFourCC(uint32_t code);
// The first four characters of a literal such as "MJPG".
constexpr uint32_t FourCCOf(const char* text) {
    return MakeFourCC(text[0], text[1], text[2], text[3]);
}

} // namespace zarvex
