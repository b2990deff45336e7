#include "common/qtprinters.h"
#include "engine/profilefile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// An app folder holding a profile file with the given text.
struct AppFolder
{
    QTemporaryDir dir;
    QString app() const { return dir.path() + "/app"; }
    explicit AppFolder(const QByteArray& ini)
    {
        QDir().mkpath(app());
        QFile f(app() + "/Zune_Profile.ini");
        f.open(QIODevice::WriteOnly);
        f.write(ini);
    }
};

} // namespace

TEST(ProfileFile, ReaderRules)
{
    AppFolder folder("; a comment line\n"
                     "[Info]\n"
                     "DefaultProfile = 1 \n"
                     "[ PROFILE0 ]\n"
                     "  title =  \"Quoted title\"  \n"
                     "Title=second one is ignored\n"
                     "Command0=./enc -i \"$INPUT_FILE\" \"$OUTPUT_FILE\"\n"
                     "[empty]\n"
                     "[profile0]\n"
                     "Title=duplicate section is ignored\n");
    CProfileFile reader;
    EXPECT_TRUE(reader.SetPath(folder.app() + "/Zune_Profile.ini"));
    EXPECT_EQ(reader.ReadString("info", "defaultprofile"), "1");
    EXPECT_EQ(reader.ReadString("profile0", "TITLE"), "Quoted title");
    // Only one pair of enclosing quotes goes, and only when the value starts and ends with it.
    EXPECT_EQ(reader.ReadString("profile0", "Command0"),
              "./enc -i \"$INPUT_FILE\" \"$OUTPUT_FILE\"");
    EXPECT_EQ(reader.ReadString("profile0", "missing"), "");
    EXPECT_EQ(reader.ReadString("nosuch", "Title"), "");
    EXPECT_TRUE(reader.HasSection("INFO"));
    EXPECT_FALSE(reader.HasSection("empty")); // exists, but holds no key
    EXPECT_FALSE(reader.HasSection("nosuch"));
    QStringList names{"stale"};
    EXPECT_EQ(reader.ReadSectionNames(names), 4);
    EXPECT_EQ(names, (QStringList{"Info", "PROFILE0", "empty", "profile0"}));
}

TEST(ProfileFile, MissingFileOrFolderGivesOneEmptySectionName)
{
    QTemporaryDir dir;
    CProfileFile reader;
    EXPECT_FALSE(reader.SetPath(dir.path() + "/none.ini"));
    QStringList names;
    EXPECT_EQ(reader.ReadSectionNames(names), 1);
    EXPECT_EQ(names, QStringList{QString()});
    EXPECT_FALSE(reader.SetPath(dir.path())); // a folder is not a profile file

    // Neither a FIFO (reading it would wait for ever) nor a link to an endless device
    // (reading it would fill the memory) is read: they give no sections at once.
    const QString fifo = dir.path() + "/fifo.ini";
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link("/dev/zero", dir.path() + "/zero.ini"));
    for (const QString& path : {fifo, dir.path() + "/zero.ini"}) {
        EXPECT_FALSE(reader.SetPath(path));
        EXPECT_EQ(reader.ReadSectionNames(names), 1);
    }
}

TEST(ProfileFile, LongValuesAreCut)
{
    const QByteArray title(2000, 'x');
    AppFolder folder("[Info]\nDefaultProfile=0\n[profile0]\nTitle=" + title + "\n");
    CProfileFile reader;
    reader.SetPath(folder.app() + "/Zune_Profile.ini");
    EXPECT_EQ(reader.ReadString("profile0", "Title").size(), 1023);

    // The cut never splits a character: not an emoji (two units), not a letter from its
    // accent.
    for (const char* last : {"\xF0\x9F\x8E\xAC", "e\xCC\x81"}) {
        SCOPED_TRACE(last);
        reader.SetContents("[profile0]\nTitle=" + QByteArray(1022, 'x') + last + "\n");
        EXPECT_EQ(reader.ReadString("profile0", "Title"), QString(1022, u'x'));
    }
}

TEST(ProfileFile, LeadingIntegerReadsLikeAtoi)
{
    const std::pair<const char*, int> cases[] = {
        {"1", 1},   {"  7", 7}, {"-2", -2},    {"+3x", 3},
        {"abc", 0}, {"", 0},    {"12abc", 12}, {"99999999999", 2147483647}};
    for (const auto& [text, value] : cases)
        EXPECT_EQ(leadingInteger(text), value) << text;
}

TEST(ProfileFile, ComboItemsFollowFileOrder)
{
    struct Case
    {
        const char* name;
        QByteArray ini;
        bool filled;
        QStringList items;
        int select;
    };
    const Case cases[] = {
        {"two profiles, default 1",
         "[Info]\nDefaultProfile=1\n[profile0]\nTitle=A\n[profile1]\nTitle=B\n",
         true,
         {"A", "B"},
         1},
        {"Info without keys", "[Info]\n[profile0]\nTitle=A\n", false, {}, -1},
        {"profile0 before Info",
         "[profile0]\nTitle=A\n[Info]\nDefaultProfile=0\nTitle=\n[x]\nTitle=C\n",
         true,
         {"", "C"},
         0},
        {"extra section in between",
         "[Info]\nDefaultProfile=0\n[profile0]\nTitle=A\n[extra]\nTitle=E\n[profile1]\nTitle=B\n",
         true,
         {"A", "E", "B"},
         0},
        {"default not a number",
         "[Info]\nDefaultProfile=abc\n[profile0]\nTitle=A\n",
         true,
         {"A"},
         0},
        {"default outside the items",
         "[Info]\nDefaultProfile=7\n[profile0]\nTitle=A\n[profile1]\nTitle=B\n",
         true,
         {"A", "B"},
         -1},
        {"profile without a title",
         "[Info]\nDefaultProfile=0\n[profile0]\nCommand0=x\n",
         true,
         {""},
         0},
        {"empty file", "", false, {}, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AppFolder folder(c.ini);
        const Mp4ProfileChoice choice = LoadMp4Profiles(folder.app());
        EXPECT_EQ(choice.filled, c.filled);
        EXPECT_EQ(choice.items, c.items);
        EXPECT_EQ(choice.selectIndex, c.select);
    }
}

TEST(ProfileFile, WithoutAppFolderTheProgramFolderIsUsedNotTheCurrentOne)
{
    auto write = [](const QString& folder, const QByteArray& title) {
        QFile f(folder + "/Zune_Profile.ini");
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Info]\nDefaultProfile=0\n[profile0]\nTitle=" + title + "\n");
    };
    QTemporaryDir program, started;
    write(program.path(), "Here");
    write(started.path(), "Wherever the program was started");
    const QString old = QDir::currentPath();
    QDir::setCurrent(started.path());
    const Mp4ProfileChoice choice = LoadMp4Profiles(program.path() + "/app"); // no such folder
    QDir::setCurrent(old);
    EXPECT_EQ(choice.items, QStringList{"Here"});
}

TEST(ProfileFile, IsReadOnceAndListsThousandsOfProfiles)
{
    // A shared profile file with 12,000 Profiles: listing it reads the file once (the
    // old reader read it again for every title and took minutes).
    QByteArray ini = "[Info]\nDefaultProfile=11999\n";
    for (int i = 0; i < 12000; ++i)
        ini += QString("[profile%1]\nTitle=Profile number %1\nCommand0=./enc %1\n").arg(i).toUtf8();
    AppFolder folder(ini);
    const Mp4ProfileChoice choice = LoadMp4Profiles(folder.app());
    ASSERT_EQ(choice.items.size(), 12000);
    EXPECT_EQ(choice.items.last(), "Profile number 11999");
    EXPECT_EQ(choice.selectIndex, 11999);

    // What was read stays what the reader answers, whatever happens to the file later.
    CProfileFile reader;
    ASSERT_TRUE(reader.SetPath(folder.app() + "/Zune_Profile.ini"));
    QFile::remove(folder.app() + "/Zune_Profile.ini");
    EXPECT_EQ(reader.ReadString("PROFILE42", "command0"), "./enc 42");
}
