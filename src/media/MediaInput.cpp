#include "media/MediaInput.h"

#include "avi_input/RepairedLayout.h"
#include "support/Errors.h"

#include <map>
#include <mutex>

namespace zarvex::media {

namespace {

constexpr int BufferSize = 1 << 16;

std::mutex Guard;
std::map<std::string, std::shared_ptr<const TRepairedLayout>> Published;

// One reader's cursor on a layout.
struct TLayoutSource {
    std::shared_ptr<const TRepairedLayout> Layout;
    TOSFile File;
    uint64_t Position = 0;
};

int ReadLayout(void* opaque, uint8_t* buffer, int size) {
    auto& s = *static_cast<TLayoutSource*>(opaque);
    try {
        const int64_t got = s.Layout->Read(s.File, s.Position, buffer, size);
        s.Position += uint64_t(got);
        return got > 0 ? int(got) : AVERROR_EOF;
    } catch (const EOSError& e) {
        return AVERROR(e.Code ? e.Code : EIO);
    }
}

int64_t SeekLayout(void* opaque, int64_t offset, int whence) {
    auto& s = *static_cast<TLayoutSource*>(opaque);
    const auto size = int64_t(s.Layout->Size());
    switch (whence & ~AVSEEK_FORCE) {
    case AVSEEK_SIZE:
        return size;
    case SEEK_SET:
        break;
    case SEEK_CUR:
        offset += int64_t(s.Position);
        break;
    case SEEK_END:
        offset += size;
        break;
    default:
        return AVERROR(EINVAL);
    }
    if (offset < 0)
        return AVERROR(EINVAL);
    s.Position = uint64_t(offset);
    return offset;
}

// The layout published for the path, unless the file has changed since it was made.
std::shared_ptr<const TRepairedLayout> LayoutFor(const std::string& path) {
    std::lock_guard lock(Guard);
    const auto found = Published.find(path);
    if (found == Published.end())
        return nullptr;
    if (FileChangeTime(path) != found->second->SourceChangeTime())
        return nullptr;
    return found->second;
}

} // namespace

int OpenMediaInput(AVFormatContext** format, const std::string& path) {
    auto layout = LayoutFor(path);
    if (!layout)
        return avformat_open_input(format, path.c_str(), nullptr, nullptr);
    auto source = std::make_unique<TLayoutSource>();
    source->Layout = layout;
    try {
        source->File = TOSFile::OpenRead(path);
        if (source->File.Size() != layout->SourceSize())
            return avformat_open_input(format, path.c_str(), nullptr, nullptr);
    } catch (const EOSError& e) {
        return AVERROR(e.Code ? e.Code : EIO);
    }
    AVFormatContext* context = avformat_alloc_context();
    auto* buffer = static_cast<uint8_t*>(av_malloc(BufferSize));
    AVIOContext* io = buffer ? avio_alloc_context(buffer, BufferSize, 0, source.get(), ReadLayout,
                                                  nullptr, SeekLayout)
                             : nullptr;
    if (!context || !io) {
        av_free(buffer);
        avformat_free_context(context);
        return AVERROR(ENOMEM);
    }
    source.release();
    context->pb = io;
    // The avi demuxer then reads each packet where the index says, never by walking the data.
    context->flags |= AVFMT_FLAG_CUSTOM_IO | AVFMT_FLAG_SORT_DTS;
    const int ret =
        avformat_open_input(&context, path.c_str(), av_find_input_format("avi"), nullptr);
    if (ret < 0) {
        ReleaseCustomInput(io);
        return ret;
    }
    *format = context;
    return 0;
}

void ReleaseCustomInput(AVIOContext* io) {
    delete static_cast<TLayoutSource*>(io->opaque);
    av_freep(&io->buffer);
    avio_context_free(&io);
}

std::shared_ptr<void> PublishRepairedLayout(std::shared_ptr<const TRepairedLayout> layout) {
    const std::string path = layout->SourcePath();
    const TRepairedLayout* published = layout.get();
    {
        std::lock_guard lock(Guard);
        Published[path] = std::move(layout);
    }
    return std::shared_ptr<void>(nullptr, [path, published](void*) {
        std::lock_guard lock(Guard);
        const auto found = Published.find(path);
        if (found != Published.end() && found->second.get() == published)
            Published.erase(found);
    });
}

} // namespace zarvex::media
