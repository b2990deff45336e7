// The manual page and the program's --help must tell the same story: the same options,
// with the same argument names, and the same exit statuses. An option added to one and
// forgotten in the other fails here.
#include "cli/cli.h"
#include "common/qtprinters.h"

#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <set>

#include <gtest/gtest.h>

namespace {

const QString kManual = QStringLiteral(TRELVO_SOURCE_DIR "/shell/trelvo-converter.1");

// Runs the program with no display and its own settings; returns the exit code.
int run(const QStringList& args, QString* output = nullptr)
{
    Cli cli;
    return cli.run(args, output);
}

QString helpText()
{
    QString text;
    EXPECT_EQ(run({"--help"}, &text), 0);
    return text;
}

// The manual's source as plain words: no comment lines, no font changes, "\-" as "-".
QStringList manualLines()
{
    QFile file(kManual);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly | QIODevice::Text)) << kManual.toStdString();
    QStringList lines;
    for (QString line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.startsWith(QLatin1String(".\\\"")))
            continue;
        line.replace(QLatin1String("\\-"), QLatin1String("-"));
        line.remove(QRegularExpression(QStringLiteral(R"(\\f[BIRP])")));
        line.remove(QLatin1String("\\|"));
        lines.append(line);
    }
    return lines;
}

// The lines of one section, from its .SH line to the next.
QStringList manualSection(const QStringList& lines, const QString& name)
{
    QStringList section;
    bool inside = false;
    for (const QString& line : lines) {
        if (line.startsWith(QLatin1String(".SH "))) {
            QString title = line.mid(4).trimmed();
            title.remove('"');
            inside = title == name;
            continue;
        }
        if (inside)
            section.append(line);
    }
    return section;
}

// The tag of each .TP paragraph as it reads: `.BI --output " DIR"` gives "--output DIR",
// `.BR -h ", " --help` gives "-h, --help".
QStringList paragraphTags(const QStringList& section)
{
    QStringList tags;
    for (int i = 0; i + 1 < section.size(); ++i) {
        if (section.at(i).trimmed() != QLatin1String(".TP"))
            continue;
        QString tag = section.at(i + 1);
        tag.remove(QRegularExpression(QStringLiteral(R"(^\.[A-Z]+\s*)")));
        tag.remove('"');
        tag = tag.simplified().replace(QLatin1String(" ,"), QLatin1String(","));
        tags.append(tag);
    }
    return tags;
}

// Sorted, each once.
QStringList longOptionsIn(const QString& text)
{
    static const QRegularExpression option(QStringLiteral(R"((?<![\w-])--[a-z][a-z-]*)"));
    QStringList found;
    for (const auto& match : option.globalMatch(text))
        found.append(match.captured());
    found.sort();
    found.removeDuplicates();
    return found;
}

QStringList longOptionsIn(const QStringList& texts)
{
    return longOptionsIn(texts.join('\n'));
}

std::set<int> numbersIn(const QString& text)
{
    static const QRegularExpression number(QStringLiteral(R"(\b\d+\b)"));
    std::set<int> found;
    for (const auto& match : number.globalMatch(text))
        found.insert(match.captured().toInt());
    return found;
}

} // namespace

TEST(Manual, NamesTheSameOptionsAsTheHelpWithTheSameArguments)
{
    const QString help = helpText();
    const QStringList manual = manualLines();
    const QStringList tags = paragraphTags(manualSection(manual, "OPTIONS"));
    ASSERT_FALSE(tags.isEmpty());

    // Every option either text mentions anywhere, the other mentions too...
    EXPECT_EQ(longOptionsIn(help), longOptionsIn(manual));
    // ...and the manual describes each in a paragraph of its own.
    EXPECT_EQ(longOptionsIn(tags), longOptionsIn(manual));

    // The help's option lines ("  --output DIR   output folder ...") read the same as the
    // manual's paragraph tags.
    static const QRegularExpression helpOption(QStringLiteral(R"(^  (--[a-z-]+(?: [A-Z]+)?)  )"));
    int helpOptions = 0;
    for (const QString& line : help.split('\n')) {
        const QRegularExpressionMatch match = helpOption.match(line);
        if (!match.hasMatch())
            continue;
        ++helpOptions;
        EXPECT_TRUE(tags.contains(match.captured(1)))
            << match.captured(1).toStdString() << " in " << tags.join(" | ").toStdString();
    }
    EXPECT_GT(helpOptions, 0) << help.toStdString();
}

// An option that both texts document but the program does not take would pass the test
// above; here each is given to the program (with a value where it takes one) before
// --help, which only succeeds when every option before it is known.
TEST(Manual, EveryDocumentedOptionIsOneTheProgramTakes)
{
    const QStringList tags = paragraphTags(manualSection(manualLines(), "OPTIONS"));
    for (const QString& tag : tags) {
        for (const QString& form : tag.split(QLatin1String(", "))) {
            QStringList args = form.split(' ');
            if (args.size() == 2)
                args[1] = QStringLiteral("1");
            args.append(QStringLiteral("--help"));
            QString output;
            EXPECT_EQ(run(args, &output), 0) << args.join(' ').toStdString() << "\n"
                                             << output.toStdString();
        }
    }
}

TEST(Manual, ListsTheExitStatusesThatTheHelpLists)
{
    const QString help = helpText();
    static const QRegularExpression statusLine(QStringLiteral(R"(^Exit status:.*$)"),
                                               QRegularExpression::MultilineOption);
    const QRegularExpressionMatch helpStatuses = statusLine.match(help);
    ASSERT_TRUE(helpStatuses.hasMatch()) << help.toStdString();

    std::set<int> manualStatuses;
    for (const QString& tag : paragraphTags(manualSection(manualLines(), "EXIT STATUS")))
        manualStatuses.merge(numbersIn(tag));
    EXPECT_EQ(numbersIn(helpStatuses.captured()), manualStatuses);
    EXPECT_FALSE(manualStatuses.empty());
}
