// The findings of a file kept as text beside its overview: a version line, the file's key and
// the options, then one line a spot. Doubles are written to 17 digits so that they read back
// exactly.
#include "media/OverviewCache.h"
#include "media/SpotDetect.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace zarvex::media {

namespace {

constexpr const char* VersionLine = "zarvex-spots 1";
constexpr size_t MaxSpots = 10000000;

std::string Exact(double v) {
    char text[40];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

std::string OptionsLine(const TDetectOptions& o) {
    return "options " + std::to_string(int(o.Black)) + " " + std::to_string(int(o.Silence)) + " " +
           std::to_string(int(o.Scenes)) + " " + Exact(o.BlackSeconds) + " " +
           Exact(o.PictureBlack) + " " + Exact(o.PixelBlack) + " " + Exact(o.SilenceDb) + " " +
           Exact(o.SilenceSeconds) + " " + Exact(o.SceneThreshold);
}

// Everything a file must match, in the order it is written.
std::string Head(const TOverviewCacheKey& key, const TDetectOptions& o) {
    return std::string(VersionLine) + "\npath " + key.Path + "\nsize " + std::to_string(key.Size) +
           "\nmodified " + std::to_string(key.ModifiedNs) + "\n" + OptionsLine(o) + "\n";
}

// One file per file and options, so that other thresholds do not push the first ones out.
std::string FileOf(const std::string& folder, const TOverviewCacheKey& key,
                   const TDetectOptions& o) {
    TOverviewCacheKey named = key;
    named.Path += "\n" + OptionsLine(o);
    std::filesystem::path file = OverviewCacheFile(folder, named);
    return file.replace_extension(".spots").string();
}

bool KindOf(const std::string& name, TSpotKind& kind) {
    for (TSpotKind k : {TSpotKind::Black, TSpotKind::Silence, TSpotKind::Scene})
        if (SpotKindName(k) == name) {
            kind = k;
            return true;
        }
    return false;
}

bool ReadBody(std::istream& in, TDetection& d) {
    std::string word;
    if (!(in >> word) || word != "frames" || !(in >> d.FrameCount >> d.FramesPerSecond))
        return false;
    size_t count = 0;
    if (!(in >> word) || word != "spots" || !(in >> count) || count > MaxSpots)
        return false;
    for (size_t i = 0; i < count; ++i) {
        TSpot s;
        if (!(in >> word) || !KindOf(word, s.Kind) ||
            !(in >> s.First >> s.Last >> s.Start >> s.End >> s.Score))
            return false;
        (s.Kind == TSpotKind::Black     ? d.Black
         : s.Kind == TSpotKind::Silence ? d.Silence
                                        : d.Scenes)
            .push_back(s);
    }
    return (in >> word) && word == "end";
}

} // namespace

bool LoadDetection(const std::string& cacheFolder, const std::string& path,
                   const TDetectOptions& options, TDetection& detection) {
    TOverviewCacheKey key;
    if (!OverviewCacheKeyOf(path, key))
        return false;
    std::ifstream in(FileOf(cacheFolder, key, options), std::ios::binary);
    if (!in)
        return false;
    const std::string head = Head(key, options);
    std::string read(head.size(), '\0');
    if (!in.read(read.data(), std::streamsize(read.size())) || read != head)
        return false;
    TDetection d;
    d.Options = options;
    if (!ReadBody(in, d))
        return false;
    detection = std::move(d);
    return true;
}

void SaveDetection(const std::string& cacheFolder, const std::string& path,
                   const TDetection& detection) {
    TOverviewCacheKey key;
    if (!OverviewCacheKeyOf(path, key))
        return;
    std::ostringstream out;
    out << Head(key, detection.Options) << "frames " << detection.FrameCount << " "
        << Exact(detection.FramesPerSecond) << "\nspots "
        << detection.Black.size() + detection.Silence.size() + detection.Scenes.size() << "\n";
    for (const auto* list : {&detection.Black, &detection.Silence, &detection.Scenes})
        for (const TSpot& s : *list)
            out << SpotKindName(s.Kind) << " " << s.First << " " << s.Last << " " << Exact(s.Start)
                << " " << Exact(s.End) << " " << Exact(s.Score) << "\n";
    out << "end\n";
    const std::string file = FileOf(cacheFolder, key, detection.Options);
    static std::atomic<unsigned> saves{0};
    const std::string temp =
        file + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(saves++);
    std::error_code ec;
    std::filesystem::create_directories(cacheFolder, ec);
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        const std::string text = out.str();
        if (!f || !f.write(text.data(), std::streamsize(text.size())) || !f.flush()) {
            f.close();
            std::filesystem::remove(temp, ec);
            return;
        }
    }
    std::filesystem::rename(temp, file, ec);
    if (ec)
        std::filesystem::remove(temp, ec);
}

} // namespace zarvex::media
