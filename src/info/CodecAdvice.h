// What to tell the user when a file cannot be played: the missing codec, the MP3 decoder, the code.
#pragma once

#include "support/Errors.h"

#include <cstdint>
#include <map>
#include <string>

namespace zarvex {

// Raised by the viewer when the media layer cannot render a file; its message is empty.
class TDSOpenError : public EZarvexError {
public:
    TDSOpenError() : EZarvexError("") {}
    uint32_t VideoCodec = 0;  // compression FourCC of the video format, 0 without video
    uint16_t AudioFormat = 0; // format tag of the audio stream, 0 without audio
    uint32_t ErrorCode = 0;   // what the render call returned
    bool SuspectVideo = false;
    bool SuspectAudio = false;
};

struct TVideoCodecInfo {
    std::string CodecName;
    std::string DownloadUrl;
};

// Well-known video codecs by upper-cased FourCC text, looked up case-insensitively.
class TVideoCodecList {
public:
    TVideoCodecList(); // with the built-in rows

    // The row of the code; when absent and create is set, a new empty row, else null.
    TVideoCodecInfo* GetCodec(const std::string& code, bool create);
    const TVideoCodecInfo* Find(const std::string& code) const;
    void SetCodecName(const std::string& code, const std::string& name);
    void SetDownloadUrl(const std::string& code, const std::string& url);
    size_t Count() const { return Rows.size(); }

private:
    void AddKnownCodecs();
    std::map<std::string, TVideoCodecInfo> Rows; // sorted by the upper-cased code
};

inline constexpr const char* CodecAdviceCaption = "Unable to open AVI file";

// The advice window's whole text, lines ended by "\r\n".
std::string CodecAdviceText(const TDSOpenError& error, const TVideoCodecList& codecs);

} // namespace zarvex
