#include "support/QtPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

QString BesideSource(const QString& name, const QString& source) {
    if (source.isEmpty() || name.isEmpty() || !QFileInfo(name).isRelative())
        return name;
    return QDir::cleanPath(QFileInfo(source).absolutePath() + "/" + name);
}

} // namespace zarvex
