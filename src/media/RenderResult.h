// Result and event codes of the player, with the values of the platform codes the viewer's
// tables are written against, so that those tables apply unchanged.
#pragma once

#include <cstdint>

namespace zarvex::media {

// Render results: 0 success, positive partial successes, negative failures. A failure is the
// FFmpeg error code itself, kept for the codec advice.
inline constexpr int32_t ResultOk = 0;                        // S_OK
inline constexpr int32_t ResultDuplicateName = 0x0004022D;    // VFW_S_DUPLICATE_NAME, never made
inline constexpr int32_t ResultPartialRender = 0x00040242;    // VFW_S_PARTIAL_RENDER
inline constexpr int32_t ResultVideoNotRendered = 0x00040257; // VFW_S_VIDEO_NOT_RENDERED
inline constexpr int32_t ResultAudioNotRendered = 0x00040258; // VFW_S_AUDIO_NOT_RENDERED

// GetEvent found no event within its timeout (E_ABORT).
inline constexpr int32_t ResultAbort = static_cast<int32_t>(0x80004004u);
// A call that needs an open file was made without one (VFW_E_WRONG_STATE).
inline constexpr int32_t ResultWrongState = static_cast<int32_t>(0x80040227u);

// Event codes of the event queue.
inline constexpr int32_t EventComplete = 1;   // EC_COMPLETE: every rendered stream reached its end
inline constexpr int32_t EventErrorAbort = 3; // EC_ERRORABORT: playback stopped; Param1 the code

inline bool RenderSucceeded(int32_t result) {
    return result >= 0;
}

} // namespace zarvex::media
