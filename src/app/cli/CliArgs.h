// Options of one command: "--name value" pairs, "--flag" switches and plain arguments.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace zarvex::cli {

struct TCliArgs {
    std::vector<std::string> Positional;
    std::map<std::string, std::string> Values;
    std::set<std::string> Flags;
    std::string Error; // empty when the arguments were understood

    bool Has(const std::string& option) const {
        return Values.count(option) > 0 || Flags.count(option) > 0;
    }
};

TCliArgs ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                   const std::set<std::string>& flagOptions);

// Yes with --yes; otherwise the question on the terminal; without a terminal, no, and a line
// saying that --yes would do what yesDoes says.
bool ConfirmOnTerminal(const std::string& question, bool assumeYes,
                       const std::string& yesDoes = "overwrite");

// The arguments before a "--", which ends the options.
std::vector<std::string>::iterator OptionsEnd(std::vector<std::string>& args);

} // namespace zarvex::cli
