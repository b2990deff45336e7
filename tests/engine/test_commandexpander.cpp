#include "common/qtprinters.h"
#include "engine/commandexpander.h"
#include "engine/commandsplitter.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

#include <QTemporaryDir>
#include <cmath>

#include <gtest/gtest.h>

namespace {

const QDateTime kNow(QDate(2026, 3, 4), QTime(5, 6, 7));

Task sourceTask()
{
    return makeTask("/v/clip.avi", 70.5, 0, 0);
}

QString expand(const QString& templ, const Task& task, const QString& out = "/out/clip.mp4")
{
    return expandTemplate(templ, task, out, kNow);
}

} // namespace

TEST(CommandExpansion, DerivedTexts)
{
    struct Case
    {
        double start, end;
        const char* startText;
        const char* lengthText;
    };
    // Times keep their milliseconds: a whole 5.64 s source converts whole, and a source
    // shorter than a second can be converted at all.
    const Case cases[] = {
        {3725.9, 4000.0, " -ss 01:02:05.900", " -t 00:04:34.100"},
        {10.0, 70.5, " -ss 00:00:10.000", " -t 00:01:00.500"},
        {0.0, 360000.0, " -ss 00:00:00.000", " -t 100:00:00.000"}, // hours keep all digits
        {0.0, 0.99, " -ss 00:00:00.000", " -t 00:00:00.990"},
        {0.0, 5.64, " -ss 00:00:00.000", " -t 00:00:05.640"},
        {2.7, 4.9, " -ss 00:00:02.700", " -t 00:00:02.200"},
        {59.9996, 120.0, " -ss 00:01:00.000", " -t 00:01:00.000"},  // rounding carries over
        {1e308, 1e308, " -ss 10000:00:00.000", " -t 00:00:00.000"}, // capped, never wrapped
        {-5.0, std::nan(""), " -ss 00:00:00.000", " -t 00:00:00.000"},
    };
    for (const Case& c : cases) {
        Task t = sourceTask();
        t.startTime = c.start;
        t.endTime = c.end;
        EXPECT_EQ(expand("[$START][$LENGTH]", t),
                  QString("[%1][%2]").arg(c.startText, c.lengthText));
    }
    EXPECT_EQ(expand("$TIMESTAMP", sourceTask()), "2026-03-04 05:06:07");
}

TEST(CommandExpansion, DefaultSettingsTexts)
{
    const QString out = expand("$VCODEC|$SIZE|$FRAMERATE|$VIDEOBITRATE|$ASPECT|$CHANNEL|"
                               "$AUDIOBITRATE|$AUDIOSAMPLE|$VOLUME",
                               sourceTask());
    EXPECT_EQ(out, "-vcodec h264 -coder 0 -vlevel 13 -bufsize 256 -g 250|320x240|-r 29.97|1200|"
                   "4:3|2|64|-ar 48000|256");
}

TEST(CommandExpansion, EveryTableEntryAndOutOfRangeIndexes)
{
    const QStringList audio{"32",  "40",  "48",  "56",  "64",  "80",  "96",
                            "112", "128", "160", "192", "224", "256", "320"};
    for (int i = 0; i < audio.size(); ++i)
        EXPECT_EQ(audioBitrateText(i), audio[i]);
    const QStringList rates{"96000", "54000", "48000", "44100", "32000", "22050", "16000", "8000"};
    for (int i = 0; i < rates.size(); ++i)
        EXPECT_EQ(audioSampleText(i), "-ar " + rates[i]);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(volumeText(i), QString::number(128 * (i + 1)));
    EXPECT_EQ(vcodecText(0), "-vcodec xvid");
    EXPECT_EQ(videoBitrateText(5), "2000");
    EXPECT_EQ(sizeText(1), "640x480");
    EXPECT_EQ(aspectText(1), "16:9");
    EXPECT_EQ(channelText(0), "1");

    Task t = sourceTask();
    t.videoType = 2;
    t.audioBitrate = 14;
    t.volume = -1;
    t.sampleRate = 99;
    EXPECT_EQ(expand("[$VCODEC][$AUDIOBITRATE][$VOLUME][$AUDIOSAMPLE]", t), "[][][][]");
}

TEST(CommandExpansion, ValuesAreNeverReadAsWords)
{
    Task t = makeTask("/v/clip $SIZE.avi", 10, 0, 0);
    t.title = "Best of $SIZE at $TIMESTAMP $OUTPUT_FILE$";
    const QString out = "/out/$START/$LENGTH.mp4";
    EXPECT_EQ(expand("-i \"$INPUT_FILE\" -s $SIZE -title \"$TITLE\" \"$OUTPUT_FILE\"", t, out),
              "-i \"/v/clip $SIZE.avi\" -s 320x240 -title \"Best of $SIZE at $TIMESTAMP "
              "$OUTPUT_FILE$\" \"/out/$START/$LENGTH.mp4\"");

    t.mp4Profile = 2; // a fixed Profile keeps its setting words
    EXPECT_EQ(expand("-s $SIZE $VCODEC \"$TITLE\"", t),
              "-s $SIZE $VCODEC \"Best of $SIZE at $TIMESTAMP $OUTPUT_FILE$\"");

    EXPECT_EQ(expand("$INPUT_FILE $INPUT_FILE $OTHER $ $$SIZE$", sourceTask()),
              "/v/clip.avi /v/clip.avi $OTHER $ $320x240$");
    // Words standing side by side in the template are each replaced.
    EXPECT_EQ(expand("$START$LENGTH$SIZE", sourceTask()),
              " -ss 00:00:00.000 -t 00:01:10.500320x240");
}

TEST(CommandExpansion, RealMediaReadsTheIntermediateFile)
{
    Task t = makeTask("/v/clip.rm", 90.0, 0, 0);
    t.startTime = 30.0;
    t.intermediatePath = "/cache/clip_23456.avi";
    EXPECT_EQ(expand("-i $INPUT_FILE $START$LENGTH", t),
              "-i /cache/clip_23456.avi -ss 00:00:00  -t 00:01:00.000");
}

TEST(CommandExpansion, QuotesInValuesCannotChangeTheArguments)
{
    const QString templ = "./trelvo-encoder -i \"$INPUT_FILE\" -title \"$TITLE\" \"$OUTPUT_FILE\"";
    const QStringList titles{"plain",
                             "a \"quoted\" word",
                             "\"",
                             "ends with \"",
                             "\"starts",
                             "x\" -y \"evil",
                             "two \"\" quotes",
                             "tab\tand spaces  ",
                             "",
                             " ",
                             "\"\"",
                             "\"\"\"\"",
                             "$TITLE",
                             "a\nb"};
    for (const QString& title : titles) {
        SCOPED_TRACE(title.toStdString());
        Task t = makeTask("/v/my \"odd\" clip.avi", 10, 0, 0);
        t.title = title;
        const QString out = "/out dir/\"x\".mp4";
        const QStringList args = splitCommandLine(expand(templ, t, out));
        ASSERT_EQ(args.size(), 6);
        EXPECT_EQ(args[2], t.sourcePath);
        EXPECT_EQ(args[4], title);
        EXPECT_EQ(args[5], out);
    }
    // Values without quotes come out exactly as they are.
    Task t = sourceTask();
    t.title = "Holiday";
    EXPECT_EQ(expand("\"$TITLE\" \"$OUTPUT_FILE\"", t), "\"Holiday\" \"/out/clip.mp4\"");
}

// A Task's sound and subtitle choices follow the Profile's line as whole arguments; a
// Task without a choice runs the line alone, as it always did.
TEST(CommandExpansion, ChoicesFollowTheLineAsWholeArguments)
{
    const QString line = "./trelvo-encoder -i \"in.mkv\" \"out.mp4\"";
    Task t = makeTask("/v/film.mkv", 10, 0, 0);
    EXPECT_EQ(choiceArguments(t), "");
    const QString before = conversionSignature(t);
    t.audioTrack = 2;
    t.subtitleTrack = 1;
    EXPECT_EQ(splitCommandLine(line + choiceArguments(t)).mid(4),
              (QStringList{"-atrack", "2", "-subtitles", "1"}));
    t.subtitleFile = "/v/it's \"my\" film.srt";
    EXPECT_EQ(splitCommandLine(line + choiceArguments(t)).mid(4),
              (QStringList{"-atrack", "2", "-subtitles", t.subtitleFile}));
    // A RealMedia source's intermediate file has them in it already: one sound track.
    t.isRealMedia = 1;
    EXPECT_EQ(choiceArguments(t), "");
    // A changed choice makes a converted Task one to convert again.
    EXPECT_NE(conversionSignature(t), before);
}

TEST(CommandExpansion, ReadsTheTemplateOfTheTasksProfileInTheAppFolder)
{
    QTemporaryDir dir;
    const QString app = dir.path() + "/app";
    QDir().mkpath(app);
    QFile f(app + "/Zune_Profile.ini");
    f.open(QIODevice::WriteOnly);
    f.write("[Info]\nDefaultProfile=0\n[profile0]\nCommand0=zero $SIZE\n[profile1]\nCommand0=one "
            "$SIZE\n");
    f.close();
    TaskList list;
    Task t = sourceTask();
    list.add(t);
    t.mp4Profile = 1;
    list.add(t);
    t.mp4Profile = 5;
    list.add(t);
    EXPECT_EQ(expandCommand(list, 0, "/o.mp4", app, kNow), "zero 320x240");
    EXPECT_NE(QDir::currentPath(), QDir(app).canonicalPath()); // the working directory stays
    EXPECT_EQ(expandCommand(list, 1, "/o.mp4", app, kNow), "one $SIZE");
    EXPECT_EQ(expandCommand(list, 2, "/o.mp4", app, kNow), ""); // no such Profile
}

TEST(CommandSplitting, TableOfCommandLines)
{
    struct Case
    {
        const char* line;
        QStringList args;
    };
    const Case cases[] = {
        {"", {}},
        {"   ", {}},
        {"a b  c", {"a", "b", "c"}},
        {"\ta\nb ", {"a", "b"}},
        {"-title \"\" -timestamp now", {"-title", "", "-timestamp", "now"}},
        {"\"\"", {""}},
        {"a \"\"", {"a", ""}},
        {"\"two words\" x", {"two words", "x"}},
        {"\"say \"\"\"hi\"\"\"\"", {"say \"hi\""}},
        {"\"\"\"\"", {"\""}},
        {"pre\"mid dle\"post", {"premid dlepost"}},
        {"\"unclosed quote", {"unclosed quote"}},
        {"\"a\"\"b\"", {"ab"}}, // two quotes inside open and close at once
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(splitCommandLine(QString::fromUtf8(c.line)), c.args);
    }
}

TEST(CommandSplitting, AnyQuotedValueComesBackWhole)
{
    // Random values over the characters that matter to the splitter.
    const QString alphabet = QStringLiteral("\"\" ab\t$");
    QRandomGenerator random(7);
    for (int round = 0; round < 2000; ++round) {
        QString value;
        const int length = int(random.bounded(8));
        for (int i = 0; i < length; ++i)
            value += alphabet.at(int(random.bounded(alphabet.size())));
        const QString line = "prog \"" + quoteSafe(value) + "\" -x \"" + quoteSafe(value) + "\"";
        const QStringList args = splitCommandLine(line);
        ASSERT_EQ(args, QStringList({"prog", value, "-x", value})) << value.toStdString();
    }
}
