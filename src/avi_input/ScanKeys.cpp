#include "avi_input/ScanKeys.h"

#include "avi_input/IntraCodecs.h"

namespace zarvex {

TKeyFrameJudge KeyFrameJudgeFor(uint32_t biCompression, uint32_t handler) {
    TKeyFrameJudge judge;
    if (IsIntraOnlyCode(biCompression) || (handler > 3 && IsIntraOnlyCode(handler))) {
        judge.Source = TKeyFrameSource::EveryFrame;
        judge.IsKey = [](const uint8_t*, size_t, uint32_t size) { return size > 0; };
        return judge;
    }
    // An empty chunk repeats the picture before it, so the first key is the first real picture.
    judge.IsKey = [seen = false](const uint8_t*, size_t, uint32_t size) mutable {
        const bool first = !seen && size > 0;
        seen = seen || size > 0;
        return first;
    };
    return judge;
}

} // namespace zarvex
