#include "app/cli/CliArgs.h"

#include <algorithm>
#include <iostream>
#include <unistd.h>

namespace zarvex::cli {

TCliArgs ParseArgs(const std::vector<std::string>& args, const std::set<std::string>& valueOptions,
                   const std::set<std::string>& flagOptions) {
    TCliArgs out;
    bool options = true;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (!options) {
            out.Positional.push_back(a);
        } else if (a == "--") {
            options = false; // what follows are file names, "-x.avi" too
        } else if (valueOptions.count(a)) {
            if (i + 1 >= args.size()) {
                out.Error = a + " needs a value";
                return out;
            }
            out.Values[a] = args[++i];
        } else if (flagOptions.count(a)) {
            out.Flags.insert(a);
        } else if (a.size() > 1 && a[0] == '-') {
            out.Error = "unknown option " + a;
            return out;
        } else {
            out.Positional.push_back(a);
        }
    }
    return out;
}

std::vector<std::string>::iterator OptionsEnd(std::vector<std::string>& args) {
    return std::find(args.begin(), args.end(), "--");
}

bool ConfirmOnTerminal(const std::string& question, bool assumeYes, const std::string& yesDoes) {
    if (assumeYes)
        return true;
    if (!isatty(STDIN_FILENO)) {
        std::cerr << question << "\nNo terminal to ask on; give --yes to " << yesDoes << ".\n";
        return false;
    }
    std::cerr << question << " [y/N] " << std::flush;
    std::string answer;
    std::getline(std::cin, answer);
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

} // namespace zarvex::cli
