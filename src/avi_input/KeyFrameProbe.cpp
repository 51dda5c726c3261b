#include "avi_input/KeyFrameProbe.h"

#include "avi_input/BitReader.h"
#include "avi_input/FourCC.h"
#include "avi_input/IntraCodecs.h"
#include "avi_input/KeyFrameMpeg.h"

#include <iterator>

namespace zarvex {

namespace {

struct TRuleCode {
    const char* Code;
    TKeyFrameRule Rule;
};

using R = TKeyFrameRule;

// Upper-case codes. MPG4 and MP41 are MS-MPEG4 v1, not MPEG-4 Part 2; 3IVD is built on v3.
// clang-format off
constexpr TRuleCode RuleCodes[] = {
    {"XVID", R::Mpeg4}, {"DIVX", R::Mpeg4}, {"DX50", R::Mpeg4}, {"FMP4", R::Mpeg4},
    {"MP4V", R::Mpeg4}, {"MP4S", R::Mpeg4}, {"M4S2", R::Mpeg4}, {"3IV2", R::Mpeg4},
    {"DIV1", R::Mpeg4}, {"BLZ0", R::Mpeg4}, {"UMP4", R::Mpeg4}, {"WV1F", R::Mpeg4},
    {"SEDG", R::Mpeg4}, {"RMP4", R::Mpeg4}, {"FFDS", R::Mpeg4}, {"FVFW", R::Mpeg4},
    {"DCOD", R::Mpeg4}, {"MVXM", R::Mpeg4}, {"PM4V", R::Mpeg4}, {"SMP4", R::Mpeg4},
    {"DXGM", R::Mpeg4}, {"VIDM", R::Mpeg4}, {"M4T3", R::Mpeg4}, {"GEOX", R::Mpeg4},
    {"HDX4", R::Mpeg4}, {"DM4V", R::Mpeg4}, {"DMK2", R::Mpeg4}, {"DYM4", R::Mpeg4},
    {"DIGI", R::Mpeg4}, {"EPHV", R::Mpeg4}, {"EM4A", R::Mpeg4}, {"M4CC", R::Mpeg4},
    {"SN40", R::Mpeg4}, {"VSPX", R::Mpeg4}, {"ULDX", R::Mpeg4}, {"GEOV", R::Mpeg4},
    {"SIPP", R::Mpeg4}, {"SM4V", R::Mpeg4}, {"XVIX", R::Mpeg4}, {"DREX", R::Mpeg4},
    {"QMP4", R::Mpeg4}, {"PLV1", R::Mpeg4}, {"GLV4", R::Mpeg4}, {"GMP4", R::Mpeg4},
    {"MNM4", R::Mpeg4}, {"GTM4", R::Mpeg4},
    {"MPG4", R::MsMpeg4}, {"MP41", R::MsMpeg4}, {"MP42", R::MsMpeg4}, {"DIV2", R::MsMpeg4},
    {"MP43", R::MsMpeg4}, {"DIV3", R::MsMpeg4}, {"MPG3", R::MsMpeg4}, {"DIV4", R::MsMpeg4},
    {"DIV5", R::MsMpeg4}, {"DIV6", R::MsMpeg4}, {"DVX3", R::MsMpeg4}, {"AP41", R::MsMpeg4},
    {"COL0", R::MsMpeg4}, {"COL1", R::MsMpeg4}, {"3IVD", R::MsMpeg4}, {"WMV1", R::MsMpeg4},
    {"WMV2", R::Wmv2},
    {"H263", R::H263}, {"X263", R::H263}, {"T263", R::H263}, {"L263", R::H263},
    {"VX1K", R::H263}, {"ZYGO", R::H263}, {"M263", R::H263}, {"LSVM", R::H263},
    {"U263", R::H263}, {"VIV1", R::H263}, {"FFV1", R::Ffv1},
    {"VP80", R::Vp8}, {"VP90", R::Vp9},
    {"H264", R::H264}, {"X264", R::H264}, {"AVC1", R::H264}, {"DAVC", R::H264},
    {"SMV2", R::H264}, {"VSSH", R::H264}, {"Q264", R::H264}, {"V264", R::H264},
    {"GAVC", R::H264}, {"UMSV", R::H264}, {"TSHD", R::H264}, {"INMC", R::H264},
    {"MPEG", R::Mpeg12}, {"MPG1", R::Mpeg12}, {"MPG2", R::Mpeg12}, {"PIM1", R::Mpeg12},
    {"PIM2", R::Mpeg12}, {"VCR2", R::Mpeg12}, {"MMES", R::Mpeg12}, {"LMP2", R::Mpeg12},
    {"SLIF", R::Mpeg12}, {"EM2V", R::Mpeg12}, {"M701", R::Mpeg12}, {"M702", R::Mpeg12},
    {"M703", R::Mpeg12}, {"M704", R::Mpeg12}, {"M705", R::Mpeg12}, {"MPGV", R::Mpeg12},
    {"BW10", R::Mpeg12}, {"XMPG", R::Mpeg12}, {"MX5P", R::Mpeg12}, {"MX4P", R::Mpeg12},
    {"MX3P", R::Mpeg12}, {"MX5N", R::Mpeg12}, {"MX4N", R::Mpeg12}, {"MX3N", R::Mpeg12},
};
// clang-format on

TKeyFrameRule Lookup(uint32_t code) {
    if (code == 0x10000001 || code == 0x10000002)
        return R::Mpeg12; // numeric MPEG-1 and MPEG-2 codes of some DirectShow writers
    const uint32_t upper = UpperFourCC(code);
    for (const TRuleCode& entry : RuleCodes)
        if (FourCCOf(entry.Code) == upper)
            return entry.Rule;
    return R::Unknown;
}

// v1 frames open with the start code 00 00 01 00 and a 5-bit frame number; v2, v3 and WMV1 start
// with the picture type. Their first byte is never 0: the quantiser after the type is not zero.
bool MsMpeg4IsKey(const uint8_t* data, size_t size) {
    TBitReader bits(data, size);
    if (size >= 4 && data[0] == 0 && data[1] == 0 && data[2] == 1 && data[3] == 0)
        bits.Skip(32 + 5);
    const uint32_t type = bits.Read(2);
    return !bits.Overrun() && type == 0;
}

// The picture start code (22 bits), the temporal reference and PTYPE; a source format of 6 or 7
// is H.263+, whose type follows the optional 18 bits of OPPTYPE.
bool H263IsKey(const uint8_t* data, size_t size) {
    TBitReader bits(data, size);
    if (bits.Read(22) != 0x20)
        return false;
    bits.Skip(8 + 1 + 1 + 3); // temporal reference, marker, H.263 id, three flags
    const uint32_t format = bits.Read(3);
    uint32_t type = 0;
    if (format == 6 || format == 7) {
        if (bits.Read(3) == 1) // UFEP
            bits.Skip(18);
        type = bits.Read(3);
        type = type == 7 ? 0 : type; // 7 is an intra picture too
    } else {
        type = bits.Bit();
    }
    return !bits.Overrun() && type == 0;
}

// The first range-coded bit, with the coder's initial state, is 1 for a key frame: the low value
// read from the first two bytes lands in the upper half of the range.
bool Ffv1IsKey(const uint8_t* data, size_t size) {
    return size >= 2 && (data[0] << 8 | data[1]) >= 0x7F80;
}

// A key frame's tag has the type bit clear and is followed by the start code 9D 01 2A.
bool Vp8IsKey(const uint8_t* data, size_t size) {
    return size >= 6 && (data[0] & 1) == 0 && data[3] == 0x9D && data[4] == 0x01 && data[5] == 0x2A;
}

// frame_marker 2, the profile's bits (a reserved bit more for profile 3), show_existing_frame,
// then frame_type (0 = key). In a superframe the first frame decides, as for packed MPEG-4.
bool Vp9IsKey(const uint8_t* data, size_t size) {
    TBitReader bits(data, size);
    if (bits.Read(2) != 2)
        return false;
    const uint32_t low = bits.Bit();
    const uint32_t profile = bits.Bit() << 1 | low;
    if (profile == 3)
        bits.Skip(1);
    if (bits.Bit() == 1)
        return false; // shows an earlier frame again
    const uint32_t type = bits.Bit();
    return !bits.Overrun() && type == 0;
}

} // namespace

TKeyFrameRule KeyFrameRuleFor(uint32_t biCompression, uint32_t handler) {
    if (IsIntraOnlyCode(biCompression))
        return R::Intra;
    if (const TKeyFrameRule rule = Lookup(biCompression); rule != R::Unknown)
        return rule;
    // A handler of 0 or 3 is an unset field rather than a raw picture format.
    if (handler != 0 && handler != 3 && IsIntraOnlyCode(handler))
        return R::Intra;
    return Lookup(handler);
}

TKeyState KeyStateFor(const uint8_t* format, size_t size) {
    TKeyState state;
    constexpr size_t HeaderBytes = 40; // the codec data follows the BITMAPINFOHEADER
    if (format == nullptr || size <= HeaderBytes)
        return state;
    const uint8_t* extra = format + HeaderBytes;
    const size_t extraSize = size - HeaderBytes;
    if (extraSize >= 7 && extra[0] == 1) // avcC: configurationVersion 1, then the length size
        state.NalLengthSize = (extra[4] & 3) + 1;
    else if (extraSize >= 3 && extra[0] == 0 && extra[1] == 0)
        state.NalLengthSize = 0;
    // An MPEG-4 VOL kept here instead of in the first frame still gives the VOP time bits.
    Mpeg4IsKey(extra, extraSize, state);
    return state;
}

bool IsKeyFramePayload(TKeyFrameRule rule, const uint8_t* data, size_t size, TKeyState& state) {
    if (data == nullptr || size == 0)
        return false; // a dropped frame repeats the picture before it
    const bool first = !state.SawFrame;
    state.SawFrame = true;
    switch (rule) {
    case R::Intra:
        return true;
    case R::Mpeg4:
        return Mpeg4IsKey(data, size, state);
    case R::MsMpeg4:
        return MsMpeg4IsKey(data, size);
    case R::Wmv2:
        return (data[0] & 0x80) == 0;
    case R::H263:
        return H263IsKey(data, size);
    case R::Ffv1:
        return Ffv1IsKey(data, size);
    case R::Vp8:
        return Vp8IsKey(data, size);
    case R::Vp9:
        return Vp9IsKey(data, size);
    case R::H264:
        return H264IsKey(data, size, state);
    case R::Mpeg12:
        return Mpeg12IsKey(data, size);
    case R::Unknown:
        break;
    }
    return first;
}

} // namespace zarvex
