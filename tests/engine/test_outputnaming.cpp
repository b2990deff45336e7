#include "common/qtprinters.h"
#include "engine/outputnaming.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

void touch(const QString& path)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

} // namespace

TEST(OutputNaming, NumbersAroundExistingFiles)
{
    struct Case
    {
        const char* name;
        QStringList existing;
        QString exportName;
        int exportType;
        QString expected;
    };
    const Case cases[] = {
        {"nothing exists", {}, "clip", 0, "clip.mp4"},
        {"two taken", {"clip.mp4", "clip_2.mp4"}, "clip", 0, "clip_3.mp4"},
        {"each extension on its own", {"clip.mp4"}, "clip", 1, "clip.wmv"},
        {"a gap is not filled", {"clip_2.mp4"}, "clip", 0, "clip.mp4"},
        {"a folder counts as taken", {"clip.wmv/"}, "clip", 1, "clip_2.wmv"},
        {"slash in the title", {}, "AC/DC Live", 0, "AC_DC Live.mp4"},
        {"control characters", {}, "a\nb\tc", 0, "a_b_c.mp4"},
        {"what FAT refuses",
         {},
         "Party 1/2: \"best\" <a|b>?*\\",
         0,
         "Party 1_2_ _best_ _a_b____.mp4"},
        {"a device's name", {}, "Com1", 1, "Com1_.wmv"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir dir;
        for (const QString& e : c.existing) {
            if (e.endsWith('/'))
                QDir().mkpath(dir.path() + "/" + e);
            else
                touch(dir.path() + "/" + e);
        }
        EXPECT_EQ(chooseOutputPath(dir.path(), c.exportName, c.exportType),
                  dir.path() + "/" + c.expected);
        // A trailing separator on the folder gives the same path.
        EXPECT_EQ(chooseOutputPath(dir.path() + "/", c.exportName, c.exportType),
                  dir.path() + "/" + c.expected);
    }
}

TEST(OutputNaming, SecondTaskWithTheSameNameGetsTheNextNumber)
{
    QTemporaryDir dir;
    const QString first = chooseOutputPath(dir.path(), "clip", 0);
    touch(first); // the first conversion wrote its output
    EXPECT_EQ(chooseOutputPath(dir.path(), "clip", 0), dir.path() + "/clip_2.mp4");
}

TEST(OutputNaming, LongNamesAreShortenedWithoutTakingAnotherFile)
{
    QTemporaryDir dir;
    // 300 two-byte characters: 600 bytes, far over the 255-byte limit.
    const QString longName(300, QChar(0x00E9));
    const QString first = chooseOutputPath(dir.path(), longName, 0);
    const QString firstName = first.mid(dir.path().size() + 1);
    EXPECT_LE(firstName.toUtf8().size(), 255);
    EXPECT_TRUE(firstName.endsWith(".mp4"));
    EXPECT_FALSE(firstName.contains(QChar(0xFFFD))); // no character split in half
    touch(first);
    const QString second = chooseOutputPath(dir.path(), longName, 0);
    EXPECT_NE(second, first);
    EXPECT_TRUE(second.endsWith("_2.mp4"));
    EXPECT_LE(second.mid(dir.path().size() + 1).toUtf8().size(), 255);
    touch(second);
    EXPECT_TRUE(chooseOutputPath(dir.path(), longName, 0).endsWith("_3.mp4"));
}

TEST(OutputNaming, MissingFolderTakesTheFirstCandidate)
{
    EXPECT_EQ(chooseOutputPath("/nonexistent/folder", "clip", 0), "/nonexistent/folder/clip.mp4");
}

TEST(OutputNaming, EmptyOrHiddenNamesFallBackToTheSourceFileName)
{
    struct Case
    {
        const char* exportName;
        const char* source;
        const char* stem;
    };
    const Case cases[] = {
        {"Holiday", "/v/clip.avi", "Holiday"},
        {"", "/v/clip.avi", "clip"},   // an empty title
        {"  ", "/v/clip.avi", "clip"}, // only blanks
        {"", "/v/clip", "clip"},       // a source without extension
        {"", "/v/.avi", "avi"},        // a source with no base name
        {".hidden", "/v/clip.avi", "hidden"},
        {"..", "/v/..mov", "mov"},
        {"", "/v/...", "video"},
        {"a/b", "/v/clip.avi", "a_b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.exportName);
        SCOPED_TRACE(c.source);
        const QString stem = outputStem(QString::fromUtf8(c.exportName), c.source);
        EXPECT_EQ(stem, QString::fromUtf8(c.stem));
        QTemporaryDir dir;
        const QString name = chooseOutputPath(dir.path(), stem, 0).mid(dir.path().size() + 1);
        EXPECT_FALSE(name.startsWith('.')) << name.toStdString();
    }
}
