#include "avi_input/LeadingPictures.h"

#include "avi_input/AVIStream.h"
#include "avi_input/KeyFrameMpeg.h"
#include "support/Endian.h"

#include <vector>

namespace zarvex {

namespace {

// More B-pictures in a row than any encoder we know makes.
constexpr int64_t MostLeading = 16;

// The type of chunk e's first picture; None for an empty or unreadable chunk.
TPictureType PictureTypeOf(const TAVIStream& video, TKeyFrameRule rule, int64_t e, TKeyState& state,
                           bool& idr) {
    idr = false;
    const std::vector<uint8_t> data = video.ChunkBytes(e);
    if (data.empty())
        return TPictureType::None;
    return rule == TKeyFrameRule::Mpeg4 ? Mpeg4PictureType(data.data(), data.size(), state)
                                        : H264PictureType(data.data(), data.size(), state, idr);
}

} // namespace

int64_t LeadingPictures(const TAVIStream& video, int64_t key) {
    const std::vector<uint8_t>& format = video.Format;
    const uint32_t compression = format.size() >= 20 ? GetU32(format.data() + 16) : 0;
    const TKeyFrameRule rule = KeyFrameRuleFor(compression, video.Header.fccHandler);
    if ((rule != TKeyFrameRule::Mpeg4 && rule != TKeyFrameRule::H264) || key < 0)
        return 0;
    TKeyState state = KeyStateFor(format.data(), format.size());
    constexpr size_t BitmapHeaderBytes = 40;
    if (rule == TKeyFrameRule::Mpeg4 && format.size() > BitmapHeaderBytes) // its VOL
        Mpeg4PictureType(format.data() + BitmapHeaderBytes, format.size() - BitmapHeaderBytes,
                         state);
    bool idr = false;
    if (PictureTypeOf(video, rule, key, state, idr) != TPictureType::I || idr)
        return 0;
    int64_t count = 0;
    for (int64_t e = key + 1; e < int64_t(video.EntryCount()) && count < MostLeading; ++e) {
        if (PictureTypeOf(video, rule, e, state, idr) != TPictureType::B)
            break;
        ++count;
    }
    return count;
}

} // namespace zarvex
