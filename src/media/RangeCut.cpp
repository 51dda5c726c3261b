#include "media/RangeCut.h"

#include "avi_input/AVIRead.h"
#include "media/ExactCut.h"
#include "splitting/ZarvexCls.h"

#include <filesystem>

namespace zarvex::media {

bool SaveRanges(const TRangeSave& save, std::vector<std::string>& messages, bool& cancelled) {
    (void)messages;
    cancelled = false;
    const int n = int(save.Pieces.size());
    std::vector<std::string> names;
    for (int i = 0; i < n; ++i)
        names.push_back(save.Separate ? RangeFileName(save.Output, i + 1, n) : save.Output);
    if (!save.Separate)
        names.resize(1);
    for (const std::string& name : names)
        if (std::filesystem::exists(name) &&
            (!save.OnConfirmOverwrite ||
             !save.OnConfirmOverwrite(TZarvex::OverwriteQuestion(name))))
            return false;
    // Placeholder until the joining copier lands: key-frame copies only.
    for (int i = 0; i < int(names.size()); ++i) {
        TZarvex copier(*save.Pieces[size_t(i)].Source);
        copier.FileName = names[size_t(i)];
        copier.CopySegment(save.Pieces[size_t(i)].Range.First, save.Pieces[size_t(i)].Range.Last);
    }
    return true;
}

} // namespace zarvex::media
