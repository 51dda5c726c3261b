// Files dropped on a window.
#pragma once

#include <QString>

class QMimeData;

namespace zarvex {

// Whether the drag carries at least one local file.
bool HasDroppedFiles(const QMimeData* data);
// The full path of the first local file dropped; empty when there is none.
QString DroppedFileName(const QMimeData* data);

} // namespace zarvex
