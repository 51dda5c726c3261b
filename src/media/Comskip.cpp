#include "media/Comskip.h"

#include "support/Errors.h"

namespace zarvex::media {

std::string ComskipProgram() { return {}; }

std::string ComskipInstallHint() { return "comskip is not installed."; }

TForeignList RunComskip(const std::string&, const TComskipProgress&) {
    throw EZarvexError(ComskipInstallHint());
}

} // namespace zarvex::media
