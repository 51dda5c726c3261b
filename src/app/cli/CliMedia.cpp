#include "app/cli/CliMedia.h"

namespace zarvex::cli {

TCliMedia& CliMedia() {
    static TCliMedia media;
    return media;
}

} // namespace zarvex::cli
