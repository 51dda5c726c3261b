#include "info/CodecAdvice.h"

#include "avi_input/FourCC.h"

#include <cstdio>

namespace zarvex {

namespace {

std::string UpperCase(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return s;
}

// Blanks and control characters (NUL padding of a code included) go at both ends.
std::string Trimmed(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && uint8_t(s[b]) <= ' ')
        ++b;
    while (e > b && uint8_t(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

} // namespace

TVideoCodecList::TVideoCodecList() {
    AddKnownCodecs();
}

// Download pages are left empty, which drops the download line of the advice.
void TVideoCodecList::AddKnownCodecs() {
    for (const char* code : {"DIV3", "DIV4", "DIVX"})
        SetCodecName(code, "DIVX Codec");
    SetCodecName("mpg4", "Microsoft MPEG-4 Video Codec V1");
    SetCodecName("mp42", "Microsoft MPEG-4 Video Codec V2");
    SetCodecName("mp43", "Microsoft MPEG-4 Video Codec V3");
    SetCodecName("XVID", "XviD Codec");
    SetCodecName("dvsd", "DV Codec");
}

TVideoCodecInfo* TVideoCodecList::GetCodec(const std::string& code, bool create) {
    const std::string key = UpperCase(code);
    auto it = Rows.find(key);
    if (it != Rows.end())
        return &it->second;
    return create ? &Rows[key] : nullptr;
}

const TVideoCodecInfo* TVideoCodecList::Find(const std::string& code) const {
    auto it = Rows.find(UpperCase(code));
    return it == Rows.end() ? nullptr : &it->second;
}

void TVideoCodecList::SetCodecName(const std::string& code, const std::string& name) {
    GetCodec(code, true)->CodecName = name;
}

void TVideoCodecList::SetDownloadUrl(const std::string& code, const std::string& url) {
    GetCodec(code, true)->DownloadUrl = url;
}

std::string CodecAdviceText(const TDSOpenError& error, const TVideoCodecList& codecs) {
    std::string text;
    if (error.SuspectVideo) {
        const std::string code = FourCCToStr(error.VideoCodec);
        const TVideoCodecInfo* known = codecs.Find(code);
        const std::string subject = known ? known->CodecName + " (" + code + ")"
                                          : UpperCase(Trimmed(code)) + " video codec";
        text = "Please make sure that " + subject + " is installed on your PC.\r\n";
        if (known && !known->DownloadUrl.empty())
            text += "You can download it here\r\n" + known->DownloadUrl + "\r\n";
    }
    if (error.SuspectAudio && error.AudioFormat == 0x55)
        text += "\r\nPlease make sure that MP3 audio decoder is installed on your PC.\r\n";
    char code[16];
    std::snprintf(code, sizeof code, "%08X", unsigned(error.ErrorCode));
    text += std::string("\r\nMedia error:") + code + "\r\n";
    text += "\r\nTo split the file into equal-sized parts, you can ignore this message. Please use "
            "command File > Split into equal-sized parts.";
    return text;
}

} // namespace zarvex
