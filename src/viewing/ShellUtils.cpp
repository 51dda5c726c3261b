#include "viewing/ShellUtils.h"

#include <QMimeData>
#include <QUrl>

namespace zarvex {

bool HasDroppedFiles(const QMimeData* data) {
    return !DroppedFileName(data).isEmpty();
}

QString DroppedFileName(const QMimeData* data) {
    if (!data || !data->hasUrls())
        return {};
    // Only the first entry counts, as the other files of the drop are ignored.
    const QList<QUrl> urls = data->urls();
    return !urls.isEmpty() && urls.first().isLocalFile() ? urls.first().toLocalFile() : QString();
}

} // namespace zarvex
