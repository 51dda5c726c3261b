// The facts the system information window reports: program, platform and FFmpeg versions, the
// open file's streams and the installed decoders, one text line each.
#pragma once

#include <string>
#include <vector>

namespace zarvex {

class TAVIFileReader;

// Every line of the report in order, for the program at programFileName.
std::vector<std::string> SystemInfoLines(const TAVIFileReader& reader,
                                         const std::string& programFileName);

// FFmpeg's packed library version as "59.37.100" (the minor number has at least two digits).
std::string VersionText(unsigned version);

// The PRETTY_NAME of os-release text, unquoted; "" when it has none.
std::string OsReleasePrettyName(const std::string& text);

// "   " + the description (long name, else name), at most 128 characters; for a decoder that
// cannot be instantiated "   " + its name (at most 128 characters) + " codec fails".
std::string CodecInfoLine(const char* name, const char* longName, bool opened);

// The video list stops after this many decoders.
inline constexpr size_t MaxVideoCodecs = 201;

} // namespace zarvex
