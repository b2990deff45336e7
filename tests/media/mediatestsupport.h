#pragma once

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "common/testmedia.h"

// One application object per test program; widgets need a QApplication, the rest an
// event loop on this thread. It is never destroyed: Qt's own globals are already gone
// when static objects die at exit.
inline void ensureApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "media-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    Q_UNUSED(app);
}

// A file whose first bytes are those of a real clip and whose rest is noise.
inline QString damagedCopy(const QString& source, const QString& path, int keepBytes)
{
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return {};
    QByteArray data = in.read(keepBytes);
    quint32 seed = 12345;
    while (data.size() < 200000) {
        seed = seed * 1103515245u + 12345u;
        data.append(char(seed >> 16));
    }
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return {};
    out.write(data);
    return path;
}
