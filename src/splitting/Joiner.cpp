#include "splitting/Joiner.h"

#include "avi_input/AVIRead.h"

namespace zarvex {

std::string JoinRefusal(const std::vector<const TAVIFileReader*>& sources) {
    (void)sources;
    return "";
}

} // namespace zarvex
