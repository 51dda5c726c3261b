#include "media/RecentPictures.h"

namespace zarvex::media {

namespace {

size_t BytesOf(const AVFrame& frame) {
    size_t bytes = 0;
    for (const AVBufferRef* buf : frame.buf)
        if (buf)
            bytes += buf->size;
    return bytes;
}

} // namespace

void TRecentPictures::Add(const TVideoPicture& picture, int64_t follows) {
    if (!Enabled() || !picture.Frame)
        return;
    const int64_t frame = picture.FrameNumber;
    if (follows >= 0 && follows < frame) {
        const auto before = Entries.find(follows);
        if (before != Entries.end())
            before->second.Next = frame;
    }
    if (Entries.count(frame))
        return;
    TEntry entry{ClonePicture(picture), -1, BytesOf(*picture.Frame)};
    Used += entry.Bytes;
    Entries.emplace(frame, std::move(entry));
    Order.push_back(frame);
    while (Used > Budget && !Order.empty()) {
        const auto oldest = Entries.find(Order.front());
        Order.pop_front();
        if (oldest == Entries.end())
            continue;
        Used -= oldest->second.Bytes;
        Entries.erase(oldest);
    }
}

bool TRecentPictures::Find(int64_t frame, TVideoPicture& picture) const {
    auto it = Entries.upper_bound(frame);
    if (it == Entries.begin())
        return false;
    --it;
    if (it->first != frame && it->second.Next <= frame)
        return false;
    picture = ClonePicture(it->second.Picture);
    return true;
}

bool TRecentPictures::FindNext(int64_t frame, TVideoPicture& picture) const {
    const auto it = Entries.find(frame);
    if (it == Entries.end() || it->second.Next < 0)
        return false;
    const auto next = Entries.find(it->second.Next);
    if (next == Entries.end())
        return false;
    picture = ClonePicture(next->second.Picture);
    return true;
}

void TRecentPictures::Clear() {
    Entries.clear();
    Order.clear();
    Used = 0;
}

} // namespace zarvex::media
