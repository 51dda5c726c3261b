#include "media/ExactCut.h"

#include "avi_input/AVIRead.h"
#include "splitting/ZarvexCls.h"

namespace zarvex::media {

std::string ExactCutRefusal(const TAVIFileReader& reader) {
    if (!reader.VideoStream())
        return "The file has no video stream.";
    return "";
}

std::string FallbackMessage(int64_t keyFrame) {
    return "The video cannot be cut exactly; the copy starts at frame " + std::to_string(keyFrame) +
           ", the key frame before the selection.";
}

std::string CopySegmentExact(TZarvex& copier, int32_t first, int32_t last) {
    copier.CopySegment(first, last);
    return "";
}

} // namespace zarvex::media
