#pragma once

#include <QString>
#include <QStringList>

// Splits an expanded command line into the program and its arguments, the way the
// templates are written: white space separates arguments; double quotes group, and
// inside quotes `"""` stands for one literal quote. Unlike QProcess::splitCommand an
// empty quoted argument `""` stays an argument, so an empty title keeps its place.
QStringList splitCommandLine(const QString& commandLine);
