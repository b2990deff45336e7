#pragma once

#include <QStringList>

// The files the window opens with, from what follows the program's name when the
// desktop's "Open with" (or a user) starts it: paths, relative ones taken from
// `workingFolder`, and file:// URLs.
QStringList startFiles(const QStringList& arguments, const QString& workingFolder);
