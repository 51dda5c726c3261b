// Where FFmpeg's demuxers read a file from. A file whose index this program rebuilt is read
// through its repaired layout while that layout is published, so that playback, frame export
// and recompression see exactly the rebuilt entries and key frames.
#pragma once

#include "media/FFmpegPtr.h"

#include <memory>
#include <string>

namespace zarvex {
class TRepairedLayout;
}

namespace zarvex::media {

// avformat_open_input for a path, through its published layout when there is one for the
// file as it is now. Returns FFmpeg's result.
int OpenMediaInput(AVFormatContext** format, const std::string& path);

// FFmpeg reads layout's source through it until the returned handle is released.
std::shared_ptr<void> PublishRepairedLayout(std::shared_ptr<const TRepairedLayout> layout);

// Frees the reading state of a context opened through a layout, after the context is closed.
void ReleaseCustomInput(AVIOContext* io);

} // namespace zarvex::media
