#include "avi_input/ScanKeys.h"

#include "avi_input/KeyFrameProbe.h"
#include "support/Endian.h"

#include <memory>

namespace zarvex {

TKeyFrameJudge KeyFrameJudgeFor(const std::vector<uint8_t>& format, uint32_t handler) {
    const uint32_t compression = format.size() >= 20 ? GetU32(format.data() + 16) : 0;
    const TKeyFrameRule rule = KeyFrameRuleFor(compression, handler);
    TKeyFrameJudge judge;
    judge.Source = rule == TKeyFrameRule::Intra     ? TKeyFrameSource::EveryFrame
                   : rule == TKeyFrameRule::Unknown ? TKeyFrameSource::FirstFrameOnly
                                                    : TKeyFrameSource::Derived;
    // The state travels from chunk to chunk of the stream, in file order.
    auto state = std::make_shared<TKeyState>(KeyStateFor(format.data(), format.size()));
    judge.IsKey = [rule, state, first = true](const uint8_t* payload, size_t available,
                                              uint32_t size) mutable {
        // An empty chunk repeats the picture before it and is never a key frame. The first
        // picture is where decoding starts in any case, so it is one even when its bitstream
        // does not say so (a recording that begins inside a group of pictures).
        if (size == 0)
            return false;
        const bool key = IsKeyFramePayload(rule, payload, available, *state) || first;
        first = false;
        return key;
    };
    return judge;
}

} // namespace zarvex
