// Paths as the widgets hold them (QString) and as the engines take them (native bytes).
#pragma once

#include <QString>

#include <string>

namespace zarvex {

// The bytes of a path for the engines' file calls.
std::string LocalPath(const QString& path);

// The folder of a path: up to its last "/", without that "/" unless it is the root; empty when
// the path has none.
QString FolderPart(const QString& path);

// A relative output name as the user means it: in the source's folder, not in the working
// folder; other names and an empty source leave it as it is.
QString BesideSource(const QString& name, const QString& source);

} // namespace zarvex
