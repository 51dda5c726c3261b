#include "info/SystemInfo.h"

#include "avi_input/FileLib.h"
#include "info/FileInfoText.h"
#include "media/FFmpegPtr.h"
#include "support/ProdInfo.h"

#include <sys/utsname.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace zarvex {

namespace {

constexpr size_t MaxDescription = 128;

std::string Truncated(const char* text) {
    std::string s = text ? text : "";
    if (s.size() > MaxDescription)
        s.resize(MaxDescription);
    return s;
}

std::string ReadOsRelease() {
    // The first file is the administrator's; the second the vendor's default.
    for (const char* path : {"/etc/os-release", "/usr/lib/os-release"}) {
        std::ifstream f(path);
        if (f) {
            std::ostringstream text;
            text << f.rdbuf();
            return text.str();
        }
    }
    return {};
}

// Distribution and kernel in one line: "Debian GNU/Linux 12 (bookworm), Linux 6.1.0 x86_64".
std::string OperatingSystemLine() {
    std::string line = OsReleasePrettyName(ReadOsRelease());
    utsname u{};
    if (uname(&u) == 0) {
        if (!line.empty())
            line += ", ";
        line += std::string(u.sysname) + " " + u.release + " " + u.machine;
    }
    return "Operating system: " + line;
}

std::string LibraryLine(const char* library, unsigned version) {
    return std::string(library) + " version: " + VersionText(version);
}

bool IsDecoderOf(const AVCodec* codec, AVMediaType type) {
    return av_codec_is_decoder(codec) && codec->type == type;
}

// A decoder counts as opened when an instance of it can be created. avcodec_open2 would be the
// wrong test here: without a stream's parameters many working decoders refuse to open (missing
// extradata, picture size or channel layout), and the hardware wrappers would go looking for their
// devices. Allocating a context sets up the decoder's private options and touches no device, so the
// hardware decoders are listed like the others; whether their device exists shows on playback.
bool CanInstantiate(const AVCodec* codec) {
    return media::TCodecContextPtr(avcodec_alloc_context3(codec)) != nullptr;
}

void AddVideoCodecs(std::vector<std::string>& lines) {
    lines.push_back("Video codecs:");
    size_t listed = 0;
    void* it = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&it)) {
        if (!IsDecoderOf(codec, AVMEDIA_TYPE_VIDEO))
            continue;
        if (listed++ == MaxVideoCodecs)
            break;
        lines.push_back(CodecInfoLine(codec->name, codec->long_name, CanInstantiate(codec)));
    }
}

void AddAudioCodecs(std::vector<std::string>& lines) {
    lines.push_back("Audio codecs:");
    void* it = nullptr;
    while (const AVCodec* codec = av_codec_iterate(&it))
        if (IsDecoderOf(codec, AVMEDIA_TYPE_AUDIO))
            lines.push_back(CodecInfoLine(codec->name, codec->long_name, true));
}

} // namespace

// AV_VERSION_INT packs major, minor and micro number into one value; they take the three
// places of the "%u.%.2u.%u" version text, so libavcodec 59.37.100 reads the same.
std::string VersionText(unsigned version) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%.2u.%u", AV_VERSION_MAJOR(version),
                  AV_VERSION_MINOR(version), AV_VERSION_MICRO(version));
    return text;
}

std::string OsReleasePrettyName(const std::string& text) {
    const std::string key = "PRETTY_NAME=";
    std::string result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (line.compare(0, key.size(), key) != 0)
            continue;
        // Shell-style value: optional quotes of either kind, backslash escapes the next
        // character; the last assignment wins.
        std::string value;
        char quote = 0;
        for (size_t i = key.size(); i < line.size(); ++i) {
            const char c = line[i];
            if (quote == 0 && (c == '"' || c == '\''))
                quote = c;
            else if (c == quote)
                quote = 0;
            else if (c == '\\' && quote != '\'' && i + 1 < line.size())
                value += line[++i];
            else
                value += c;
        }
        result = value;
    }
    return result;
}

std::string CodecInfoLine(const char* name, const char* longName, bool opened) {
    if (!opened)
        return "   " + Truncated(name) + " codec fails";
    return "   " + Truncated(longName && *longName ? longName : name);
}

std::vector<std::string> SystemInfoLines(const TAVIFileReader& reader,
                                         const std::string& programFileName) {
    std::vector<std::string> lines;
    lines.push_back("Program version: " + ProductInfo.Version + " (" +
                    std::to_string(FileSizeOf(programFileName)) + ")");
    lines.push_back(OperatingSystemLine());
    lines.push_back(LibraryLine("libavcodec", avcodec_version()));
    lines.push_back(LibraryLine("libavformat", avformat_version()));
    for (std::string& line : FileInfoLines(reader))
        lines.push_back(std::move(line));
    AddVideoCodecs(lines);
    AddAudioCodecs(lines);
    return lines;
}

} // namespace zarvex
