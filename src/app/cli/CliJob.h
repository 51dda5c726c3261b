// Runs one copying job of the engine with terminal progress, Ctrl+C and error reporting.
#pragma once

#include "splitting/ZarvexCls.h"

#include <functional>
#include <string>

namespace zarvex::cli {

// Opens the source for a command, rebuilding a missing or damaged index by scanning (with a
// progress bar unless quiet) and one warning line on stderr; on failure says why on stderr and
// returns false.
bool OpenSource(TAVIFileReader& reader, const std::string& source, bool quiet = false);

// When the opened reader's index was rebuilt: the warning line, and the media layer reads the
// source through the rebuilt index for the rest of the run.
void UseRebuiltIndex(const TAVIFileReader& reader, const std::string& source);

// False, with a message on stderr, when the opened source's video has no index entries.
// False, with the reason on standard error, when a copy of reader cannot be written.
bool CanCopyStreams(const TAVIFileReader& reader, const std::string& command,
                    const std::string& source);
bool HasVideoEntries(const TAVIFileReader& reader, const std::string& command,
                     const std::string& source);

// Opens the source, lets check refuse it with an exit code, runs job and maps the outcome to an
// exit code; job returns false when the user declined to overwrite.
int RunCopyJob(const std::string& command, const std::string& source, bool quiet,
               const std::function<int(TAVIFileReader&)>& check,
               const std::function<bool(TZarvex&)>& job);

} // namespace zarvex::cli
