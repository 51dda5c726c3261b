// Another program run in the background: arguments as given (no shell), its standard output and
// error read line by line, and stopped on request without leaving a zombie behind.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zarvex::media {

// Called for each line the program prints (ended by '\n' or '\r', as progress lines are), and
// with an empty line at least every few tenths of a second; setting cancel stops the program.
using TChildOutput = std::function<void(bool& cancel, const std::string& line)>;

struct TChildResult {
    int ExitCode = -1;      // -1 when a signal ended it
    bool Cancelled = false; // output set cancel; the program was stopped
};

// Runs argv[0] (a path) with the arguments in folder dir, standard input from /dev/null. Raises
// EOSError when it cannot be started.
TChildResult RunChild(const std::vector<std::string>& argv, const std::string& dir,
                      const TChildOutput& output);

} // namespace zarvex::media
