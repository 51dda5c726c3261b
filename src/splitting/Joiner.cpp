// Whether AVI files can be joined by stream copy, and if not, the first reason why.
#include "splitting/Joiner.h"

#include "avi_input/AVIRead.h"
#include "avi_input/FourCC.h"
#include "support/Endian.h"

#include <cstdio>
#include <filesystem>

namespace zarvex {

namespace {

std::string BaseName(const TAVIFileReader& r) {
    return std::filesystem::path(r.FileName()).filename().string();
}

std::string KindName(uint32_t fccType) {
    if (fccType == streamVids)
        return "video";
    if (fccType == streamAuds)
        return "audio";
    if (fccType == MakeFourCC('t', 'x', 't', 's'))
        return "text";
    return "'" + FourCCToStr(fccType) + "'";
}

// Format fields read defensively: a short 'strf' reads as zeros, which still compares.
uint32_t FormatU32(const TAVIStream& s, size_t at) {
    return s.Format.size() >= at + 4 ? GetU32(s.Format.data() + at) : 0;
}
uint16_t FormatU16(const TAVIStream& s, size_t at) {
    return s.Format.size() >= at + 2 ? GetU16(s.Format.data() + at) : 0;
}

std::string RateText(const AVIStreamHeader& h) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", h.dwScale ? double(h.dwRate) / h.dwScale : 0.0);
    std::string s = text;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.')
        s.pop_back();
    return s;
}

std::string CodecText(uint32_t compression) {
    if (compression == 0)
        return "uncompressed";
    for (int shift = 0; shift < 32; shift += 8)
        if (const uint8_t c = uint8_t(compression >> shift); c < 0x20 || c > 0x7E)
            return "compression " + std::to_string(compression);
    return FourCCToStr(compression);
}

std::string Plural(uint32_t n, const std::string& word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

// "The video of b.avi is X; a.avi is Y." for the first field that differs.
std::string Differs(const std::string& what, const std::string& other,
                    const std::string& otherValue, const std::string& first,
                    const std::string& firstValue) {
    return what + " of " + other + " is " + otherValue + "; " + first + " is " + firstValue + ".";
}

std::string VideoRefusal(const TAVIStream& a, const TAVIStream& b, const std::string& an,
                         const std::string& bn) {
    const std::string what = "The video";
    const uint32_t ca = UpperFourCC(FormatU32(a, 16)), cb = UpperFourCC(FormatU32(b, 16));
    if (ca != cb)
        return Differs(what, bn, CodecText(cb), an, CodecText(ca));
    // Compressed formats write any bit count there; only for raw pixels does it tell a format.
    if ((ca == 0 || ca == 3) && FormatU16(a, 14) != FormatU16(b, 14))
        return Differs(what, bn, std::to_string(FormatU16(b, 14)) + " bits per pixel", an,
                       std::to_string(FormatU16(a, 14)) + " bits per pixel");
    if (a.Width != b.Width || a.Height != b.Height)
        return Differs(what, bn, std::to_string(b.Width) + "x" + std::to_string(b.Height), an,
                       std::to_string(a.Width) + "x" + std::to_string(a.Height));
    // Rates compare as fractions: 25/1 and 50/2 are one rate.
    if (uint64_t(a.Header.dwRate) * b.Header.dwScale !=
        uint64_t(b.Header.dwRate) * a.Header.dwScale)
        return Differs(what, bn, RateText(b.Header) + " frames per second", an,
                       RateText(a.Header) + " frames per second");
    return "";
}

std::string AudioRefusal(const std::string& what, const TAVIStream& a, const TAVIStream& b,
                         const std::string& an, const std::string& bn) {
    auto tag = [](const TAVIStream& s) {
        char text[16];
        std::snprintf(text, sizeof text, "format 0x%04X", FormatU16(s, 0));
        return std::string(text);
    };
    if (FormatU16(a, 0) != FormatU16(b, 0))
        return Differs(what, bn, tag(b), an, tag(a));
    if (FormatU32(a, 4) != FormatU32(b, 4))
        return Differs(what, bn, std::to_string(FormatU32(b, 4)) + " Hz", an,
                       std::to_string(FormatU32(a, 4)) + " Hz");
    if (FormatU16(a, 2) != FormatU16(b, 2))
        return Differs(what, bn, Plural(FormatU16(b, 2), "channel"), an,
                       Plural(FormatU16(a, 2), "channel"));
    if (FormatU16(a, 12) != FormatU16(b, 12))
        return Differs(what, bn, "in blocks of " + Plural(FormatU16(b, 12), "byte"), an,
                       "in blocks of " + Plural(FormatU16(a, 12), "byte"));
    return "";
}

std::string PairRefusal(const TAVIFileReader& a, const TAVIFileReader& b) {
    const std::string an = BaseName(a), bn = BaseName(b);
    if (a.StreamCount() != b.StreamCount())
        return bn + " has " + Plural(uint32_t(b.StreamCount()), "stream") + "; " + an + " has " +
               std::to_string(a.StreamCount()) + ".";
    int audios = 0;
    for (int i = 0; i < a.StreamCount(); ++i)
        audios += a.Streams(i).Header.fccType == streamAuds;
    for (int i = 0, audio = 0; i < a.StreamCount(); ++i) {
        const TAVIStream& sa = a.Streams(i);
        const TAVIStream& sb = b.Streams(i);
        if (sa.Header.fccType != sb.Header.fccType)
            return "Stream " + std::to_string(i + 1) + " of " + bn + " is " +
                   KindName(sb.Header.fccType) + "; in " + an + " it is " +
                   KindName(sa.Header.fccType) + ".";
        std::string refusal;
        if (sa.Header.fccType == streamVids)
            refusal = VideoRefusal(sa, sb, an, bn);
        else if (sa.Header.fccType == streamAuds)
            refusal = AudioRefusal(audios > 1 ? "Audio stream " + std::to_string(++audio)
                                              : std::string("The audio"),
                                   sa, sb, an, bn);
        if (!refusal.empty())
            return refusal;
    }
    return "";
}

} // namespace

std::string JoinRefusal(const std::vector<const TAVIFileReader*>& sources) {
    for (size_t i = 1; i < sources.size(); ++i)
        if (std::string refusal = PairRefusal(*sources.front(), *sources[i]); !refusal.empty())
            return refusal;
    return "";
}

} // namespace zarvex
