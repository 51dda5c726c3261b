#include "support/QtPaths.h"

#include <QFile>

namespace zarvex {

std::string LocalPath(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

QString FolderPart(const QString& path) {
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return QString();
    return path.left(slash == 0 ? 1 : slash);
}

} // namespace zarvex
