#include "common/fakemedia.h"
#include "common/qtprinters.h"
#include "engine/sourcecheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

TEST(SourceCheck, SaysWhyAFileCannotBeRead)
{
    QTemporaryDir dir;
    const QString d = dir.path();
    QDir().mkpath(d + "/folder.avi");
    QFile(d + "/empty.avi").open(QIODevice::WriteOnly);
    QFile full(d + "/clip.avi");
    full.open(QIODevice::WriteOnly);
    full.write("some bytes");
    full.close();
    ASSERT_EQ(::mkfifo(QFile::encodeName(d + "/pipe.avi").constData(), 0600), 0);
    // A name in Latin-1, as old archives and other systems write them: not UTF-8.
    const QByteArray latin1 = QFile::encodeName(d) + "/caf\xe9.avi";
    const int fd = ::open(latin1.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "x", 1), 1);
    ::close(fd);

    struct Case
    {
        QString path;
        const char* reason;
    };
    const Case cases[] = {
        {d + "/clip.avi", ""},
        {d + "/missing.avi", "does not exist"},
        {d + "/folder.avi", "is a folder"},
        {d + "/empty.avi", "is empty"},
        {d + "/pipe.avi", "pipe or a device"},
        {"/dev/zero", "pipe or a device"},
        {QFile::decodeName(latin1), "not valid UTF-8"},
        {"", "No source file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        const QString problem = sourceFileProblem(c.path);
        if (*c.reason == 0)
            EXPECT_TRUE(problem.isEmpty()) << problem.toStdString();
        else
            EXPECT_TRUE(problem.contains(c.reason)) << problem.toStdString();
    }
    if (::geteuid() != 0) { // root reads everything
        QFile::setPermissions(d + "/clip.avi", QFile::WriteOwner);
        EXPECT_TRUE(sourceFileProblem(d + "/clip.avi").contains("cannot be read"));
    }
}

// One answer at Add and before a conversion: a file the media component decodes but whose
// length it cannot read is refused as well, since it cannot be trimmed.
TEST(SourceCheck, TheMediaComponentHasItsSayAfterTheFileSystem)
{
    FakeMedia media;
    QString problem;
    media.sourceProblem = [&](const QString&) { return problem; };
    media.defaultDuration = 10.0;
    QTemporaryDir dir;
    const QString clip = dir.path() + "/clip.avi";
    QFile file(clip);
    file.open(QIODevice::WriteOnly);
    file.write("some bytes");
    file.close();

    EXPECT_TRUE(checkSource(clip, media.converter).ok());
    EXPECT_EQ(checkSource(dir.path() + "/gone.avi", media.converter).kind,
              FailureKind::SourceMissing);
    EXPECT_EQ(checkSource(dir.path(), media.converter).kind, FailureKind::SourceUnreadable);
    media.defaultDuration = 0.0;
    const SourceVerdict noLength = checkSource(clip, media.converter);
    EXPECT_EQ(noLength.kind, FailureKind::SourceUnreadable);
    EXPECT_TRUE(noLength.problem.contains("length cannot be read"))
        << noLength.problem.toStdString();
    problem = "no picture";
    EXPECT_EQ(checkSource(clip, media.converter).problem, "no picture");
}
