#include "media/Comskip.h"

#include "avi_input/AVIRead.h"
#include "avi_input/AVIStream.h"
#include "media/ChildProcess.h"
#include "support/Errors.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace zarvex::media {

namespace fs = std::filesystem;

namespace {

// What comskip is asked for: its usual detection (black frames, logo, scene changes,
// resolution, aspect ratio, silence) and its frame list (.txt) only.
constexpr const char* Ini = "detect_method=111\n"
                            "output_default=1\n"
                            "output_edl=0\n"
                            "verbose=0\n";

// A folder of our own under the system's temp folder, removed with all comskip wrote.
struct TWorkDir {
    fs::path Path;
    TWorkDir() {
        std::string pattern = (fs::temp_directory_path() / "zarvex-comskip-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw EOSError(errno, std::strerror(errno), pattern);
        Path = pattern;
    }
    ~TWorkDir() {
        std::error_code error;
        fs::remove_all(Path, error);
    }
};

// The video's slots and which of them hold a picture; none when the file cannot be read so.
struct TVideoSlots {
    std::vector<int64_t> Pictures;
    int64_t Slots = 0;
    double Seconds = 0;
};

TVideoSlots ReadSlots(const std::string& path) {
    TVideoSlots v;
    try {
        TAVIFileReader reader;
        reader.Open(path);
        const TAVIStream* video = reader.VideoStream();
        if (!video)
            return v;
        v.Slots = video->EntryCount();
        for (int64_t i = 0; i < v.Slots; ++i)
            if (video->EntrySize(i) > 0)
                v.Pictures.push_back(i);
        if (video->Header.dwRate > 0)
            v.Seconds = double(v.Slots) * video->Header.dwScale / video->Header.dwRate;
    } catch (const EZarvexError&) {
        v = {};
    }
    return v;
}

// " 0:01:53 - 2840 frames in 1.99 sec(...), 39%": the position in seconds, or -1.
double ProgressSeconds(const std::string& line) {
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos || line.find(" frames in ") == std::string::npos)
        return -1;
    int h = 0, m = 0, s = 0;
    if (std::sscanf(line.c_str(), " %d:%d:%d -", &h, &m, &s) != 3)
        return -1;
    return h * 3600.0 + m * 60.0 + s;
}

// comskip's own percent at the end of a progress line, or -1.
double ProgressPercent(const std::string& line) {
    const size_t comma = line.rfind(", ");
    double percent = -1;
    if (comma != std::string::npos && line.back() == '%')
        std::sscanf(line.c_str() + comma + 2, "%lf", &percent);
    return percent;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

std::string ComskipProgram() {
    const char* env = std::getenv("PATH");
    std::istringstream dirs(env && *env ? env : "/usr/local/bin:/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        const fs::path candidate = fs::path(dir.empty() ? "." : dir) / "comskip";
        std::error_code error;
        if (fs::is_regular_file(candidate, error) && ::access(candidate.c_str(), X_OK) == 0)
            return fs::absolute(candidate, error).string();
    }
    return {};
}

std::string ComskipInstallHint() {
    return "comskip is not installed. On Debian: sudo apt install comskip";
}

void ComskipFramesToSlots(TForeignList& list, const std::vector<int64_t>& pictureSlots,
                          int64_t slots) {
    if (pictureSlots.empty()) {
        ShiftList(list, -1);
        return;
    }
    const int64_t count = int64_t(pictureSlots.size());
    // Picture p from 0 is comskip's frame p + 1; a range ends before the picture after its
    // last, so that the empty chunks repeating its last picture go with it.
    auto slotOf = [&](int64_t frame) {
        const int64_t p = frame - 1;
        return p < 0 ? 0 : p >= count ? slots : pictureSlots[size_t(p)];
    };
    for (TListRange& r : list.Ranges) {
        r.Start.Frames = slotOf(r.Start.Frames);
        r.End.Frames = slotOf(r.End.Frames);
    }
}

TForeignList RunComskip(const std::string& path, const TComskipProgress& progress) {
    const std::string program = ComskipProgram();
    if (program.empty())
        throw EZarvexError(ComskipInstallHint());
    const std::string source = fs::absolute(path).string();
    if (!fs::is_regular_file(source))
        throw EZarvexError("The recording " + path + " cannot be found.");
    const TVideoSlots video = ReadSlots(source);

    TWorkDir work;
    const fs::path ini = work.Path / "zarvex.ini";
    {
        std::ofstream out(ini, std::ios::binary);
        out << Ini;
        if (!out.flush())
            throw EZarvexError("The settings for comskip cannot be written to " + ini.string());
    }

    std::deque<std::string> last; // the lines other than progress, for the error text
    double percent = 0;
    auto output = [&](bool& cancel, const std::string& line) {
        double now = -1;
        if (const double seconds = ProgressSeconds(line); seconds >= 0)
            now = video.Seconds > 0 ? 100 * seconds / video.Seconds : ProgressPercent(line);
        else if (!line.empty()) {
            last.push_back(line);
            if (last.size() > 3)
                last.pop_front();
        }
        // It reads the start twice when it looks for a logo: the position goes back then.
        percent = std::clamp(std::max(percent, now), 0.0, 99.0);
        if (progress)
            progress(cancel, percent);
    };
    const TChildResult run =
        RunChild({program, "--ini=" + ini.string(), "--output=" + work.Path.string(), source},
                 work.Path.string(), output);
    if (run.Cancelled)
        throw EZarvexError("Cancelled.");

    std::string text;
    for (const fs::directory_entry& e : fs::directory_iterator(work.Path))
        if (e.path().extension() == ".txt")
            text = ReadText(e.path());
    // It leaves an empty list behind on a file it cannot read.
    if ((run.ExitCode != 0 && run.ExitCode != 1) ||
        text.find("FILE PROCESSING COMPLETE") == std::string::npos) {
        std::string why = "comskip could not process " + path;
        why += run.ExitCode >= 0 ? " (exit code " + std::to_string(run.ExitCode) + ")." : ".";
        for (const std::string& l : last)
            why += "\n" + l;
        throw EZarvexError(why);
    }
    TForeignList list = ReadForeignList(text, TListFormat::ComskipTxt);
    // Checked by a run on a recording made to measure: the black frames of AVI slots 3000 to
    // 3011 are comskip's frames 3001 to 3012, the picture of slot 0 its frame 1. It counts
    // decoded pictures, so after an empty chunk its numbers fall behind the slots.
    ComskipFramesToSlots(list, video.Pictures, video.Slots);
    if (progress) {
        bool ignored = false;
        progress(ignored, 100);
    }
    return list;
}

} // namespace zarvex::media
