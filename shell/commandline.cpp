#include "shell/commandline.h"

#include "engine/appsettings.h"
#include "engine/batchdriver.h"
#include "engine/clock.h"
#include "engine/profilefile.h"
#include "engine/programfolder.h"
#include "engine/progressdisplay.h"
#include "engine/sizeestimate.h"
#include "engine/taskeditor.h"
#include "engine/taskedits.h"
#include "engine/tasklog.h"
#include "media/mediacatalog.h"
#include "media/mediaengine.h"
#include "media/mediaprobe.h"
#include "shell/logindpowercontrol.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitStopped = 130;
constexpr qint64 kLineIntervalMs = 250;

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

void print(const QString& text)
{
    std::fputs(qPrintable(text), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void printError(const QString& text)
{
    std::fputs(qPrintable(QStringLiteral("trelvo-converter: ") + text), stderr);
    std::fputc('\n', stderr);
}

// The manual page (shell/trelvo-converter.1) describes the same options and exit
// statuses; cli_manual_tests fail when the two part ways.
const char* const kUsage =
    "Usage:\n"
    "  trelvo-converter [FILE...]            start the window, with the FILEs in its list\n"
    "  trelvo-converter --convert FILE... [options]\n"
    "  trelvo-converter --list-profiles\n"
    "  trelvo-converter --help\n"
    "\n"
    "Converts each FILE for the Zune into one output folder, as the window does.\n"
    "\n"
    "Options:\n"
    "  --output DIR        output folder (default: the folder chosen last in the window)\n"
    "  --wmv               export Windows Media (WMV) instead of MP4\n"
    "  --profile N         MP4 Profile number (see --list-profiles; default 0)\n"
    "  --wmv-profile N     WMV profile number (see --list-profiles; default 0)\n"
    "  --start SECONDS     trim: start of the part to convert (default 0)\n"
    "  --end SECONDS       trim: end of the part to convert (default: the whole file)\n"
    "  --title TEXT        title written into the file and used as its name\n"
    "  --jobs N            convert up to N files at once (default: the stored \"Jobs\"\n"
    "                      setting, else 1 on two cores or fewer, one per two cores above)\n"
    "  --audio-track N     convert the Nth sound track (from 1; default: the one the file\n"
    "                      marks as default, else the first)\n"
    "  --subtitles N|FILE  draw the Nth subtitle track (from 1), or the subtitles of a\n"
    "                      .srt or .ass FILE, into the picture (default: a track marked\n"
    "                      forced in the sound's language, else none)\n"
    "\n"
    "Before converting, a warning is printed when the files will not fit in the room left\n"
    "in the output folder; the conversion goes on, and the files that do not fit fail.\n"
    "\n"
    "Exit status: 0 all converted, 1 some failed, 2 wrong usage, 130 stopped (Ctrl+C).\n";

// Prints each Task's Progress text when it changes, at most a few times a second.
class ConsoleHost : public BatchHost
{
public:
    ConsoleHost(const TaskList& tasks, const BatchState& batch) : m_tasks(tasks), m_batch(batch) {}

    void showConverting(bool) override {}
    bool shutdownWhenFinished() const override { return false; }
    void showMessage(const QString& text, const QString& caption, MessageIcon) override
    {
        print(caption + QStringLiteral(": ") + text);
    }
    void onTaskChanged(int row)
    {
        if (!m_driver || !m_tasks.isValidIndex(row))
            return;
        const Task task = m_tasks.get(row);
        const QString text =
            taskProgress(task, m_batch.wmvClock(tickCount()), m_batch.wmvStartTick).text.trimmed();
        QString& last = m_lastText[row];
        if (text.isEmpty() || text == last)
            return;
        const TaskState state = m_driver->taskState(row);
        const bool final = state == TaskState::Finished || state == TaskState::Stopped ||
                           state == TaskState::Failed;
        QElapsedTimer& timer = m_lastPrint[row];
        if (!final && timer.isValid() && timer.elapsed() < kLineIntervalMs)
            return;
        timer.start();
        last = text;
        QString line = QFileInfo(task.sourcePath).fileName() + QStringLiteral(": ") + text;
        if (state == TaskState::Failed && !task.failureReason.isEmpty())
            line += QStringLiteral(" (") + task.failureReason + QStringLiteral(")");
        print(line);
    }

    void setDriver(const BatchDriver* driver) { m_driver = driver; }

private:
    const TaskList& m_tasks;
    const BatchState& m_batch;
    const BatchDriver* m_driver = nullptr;
    QHash<int, QString> m_lastText;
    QHash<int, QElapsedTimer> m_lastPrint;
};

bool readNumber(const QCommandLineParser& parser, const QString& name, double* value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    *value = parser.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(*value) || *value < 0) {
        printError(QStringLiteral("--%1 takes a number of seconds, not \"%2\"")
                       .arg(name, parser.value(name)));
        return false;
    }
    return true;
}

bool readIndex(const QCommandLineParser& parser, const QString& name, int count, int* value)
{
    if (!parser.isSet(name))
        return true;
    bool ok = false;
    *value = parser.value(name).toInt(&ok);
    if (!ok || *value < 0 || *value >= count) {
        printError(QStringLiteral("there is no %1 \"%2\"; see --list-profiles")
                       .arg(name, parser.value(name)));
        return false;
    }
    return true;
}

void listProfiles(MediaEngine& media)
{
    const Mp4ProfileChoice mp4 = LoadMp4Profiles(appFolder());
    print(QStringLiteral("MP4 Profiles (--profile N):"));
    for (int i = 0; i < mp4.items.size(); ++i)
        print(QStringLiteral("  %1  %2").arg(i).arg(mp4.items.at(i)));
    if (mp4.items.isEmpty())
        print(QStringLiteral("  (none: the profile file %1/Zune_Profile.ini is missing or empty)")
                  .arg(appFolder()));
    print(QStringLiteral("WMV profiles (--wmv --wmv-profile N):"));
    const MediaCollection wmv = media.WmvProfiles();
    for (short i = 0; i < wmv.Count(); ++i)
        print(QStringLiteral("  %1  %2").arg(i).arg(wmv.Description(i).trimmed()));
}

// The options, as QCommandLineParser knows them; kUsage says what they do.
void addOptions(QCommandLineParser& parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions({
        {QStringLiteral("convert"), QStringLiteral("convert the files")},
        {QStringLiteral("output"), QStringLiteral("output folder"), QStringLiteral("DIR")},
        {QStringLiteral("wmv"), QStringLiteral("export WMV")},
        {QStringLiteral("profile"), QStringLiteral("MP4 Profile"), QStringLiteral("N")},
        {QStringLiteral("wmv-profile"), QStringLiteral("WMV profile"), QStringLiteral("N")},
        {QStringLiteral("start"), QStringLiteral("trim start"), QStringLiteral("SECONDS")},
        {QStringLiteral("end"), QStringLiteral("trim end"), QStringLiteral("SECONDS")},
        {QStringLiteral("title"), QStringLiteral("title"), QStringLiteral("TEXT")},
        {QStringLiteral("jobs"), QStringLiteral("files at once"), QStringLiteral("N")},
        {QStringLiteral("list-profiles"), QStringLiteral("list the profiles")},
        {QStringLiteral("audio-track"), QStringLiteral("sound track"), QStringLiteral("N")},
        {QStringLiteral("subtitles"), QStringLiteral("subtitles"), QStringLiteral("N|FILE")},
        {{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("show this help")},
    });
}

// What --convert is asked to do, read from the options.
struct ConvertRequest
{
    QStringList files;
    QString folder;
    int exportType = 0;
    int mp4Profile = 0;
    int wmvProfile = 0;
    double start = 0;
    double end = -1;
    std::optional<QString> title;
    int jobs = 0;
    // The sound and subtitle choices: a track number, or for subtitles a file.
    int audioTrack = 0;
    bool subtitlesGiven = false;
    int subtitleTrack = 0;
    QString subtitleFile;
};

// The profiles, the trim and the number of jobs; false once one was refused.
bool readConversionSettings(const QCommandLineParser& parser, MediaEngine& media,
                            ConvertRequest& request)
{
    request.exportType = parser.isSet(QStringLiteral("wmv")) ? 1 : 0;
    const int mp4Count = int(LoadMp4Profiles(appFolder()).items.size());
    if (!readIndex(parser, QStringLiteral("profile"), qMax(mp4Count, 1), &request.mp4Profile) ||
        !readIndex(parser, QStringLiteral("wmv-profile"), media.WmvProfiles().Count(),
                   &request.wmvProfile) ||
        !readNumber(parser, QStringLiteral("start"), &request.start) ||
        !readNumber(parser, QStringLiteral("end"), &request.end))
        return false;
    request.jobs = storedJobs();
    if (parser.isSet(QStringLiteral("jobs"))) {
        bool ok = false;
        request.jobs = parser.value(QStringLiteral("jobs")).toInt(&ok);
        if (!ok || request.jobs < 1 || request.jobs > kMaxJobs) {
            printError(QStringLiteral("--jobs must be a number from 1 to %1, not \"%2\"")
                           .arg(kMaxJobs)
                           .arg(parser.value(QStringLiteral("jobs"))));
            return false;
        }
    }
    if (parser.isSet(QStringLiteral("start")) && parser.isSet(QStringLiteral("end")) &&
        !(request.start < request.end)) {
        printError(
            QStringLiteral("--start %1 is not before --end %2")
                .arg(parser.value(QStringLiteral("start")), parser.value(QStringLiteral("end"))));
        return false;
    }
    if (parser.isSet(QStringLiteral("title")))
        request.title = parser.value(QStringLiteral("title"));
    return true;
}

// The sound and subtitle choices, refused for every file before anything is written.
bool readTrackChoices(const QCommandLineParser& parser, ConvertRequest& request)
{
    if (parser.isSet(QStringLiteral("audio-track"))) {
        bool ok = false;
        request.audioTrack = parser.value(QStringLiteral("audio-track")).toInt(&ok);
        if (!ok || request.audioTrack < 1) {
            printError(QStringLiteral("--audio-track takes a track number from 1, not \"%1\"")
                           .arg(parser.value(QStringLiteral("audio-track"))));
            return false;
        }
    }
    request.subtitlesGiven = parser.isSet(QStringLiteral("subtitles"));
    if (request.subtitlesGiven) {
        const QString value = parser.value(QStringLiteral("subtitles"));
        bool number = false;
        request.subtitleTrack = value.toInt(&number);
        if (!number || request.subtitleTrack < 1 || QFileInfo(value).isFile()) {
            request.subtitleTrack = 0;
            request.subtitleFile = QFileInfo(value).absoluteFilePath();
        }
    }
    for (const QString& path : request.files) {
        const QString problem = mediaChoiceProblem(path, request.audioTrack, request.subtitleTrack,
                                                   request.subtitleFile);
        if (!problem.isEmpty()) {
            printError(QStringLiteral("%1: %2").arg(QFileInfo(path).fileName(), problem));
            return false;
        }
    }
    return true;
}

// The Task for one file, as the window would make it with the same choices.
Task taskOfRequest(MediaEngine& media, const QString& path, const ConvertRequest& request)
{
    const double duration = media.GetDuration(path);
    NewTaskChoices choices;
    choices.exportType = request.exportType;
    choices.wmvProfile = request.wmvProfile;
    choices.mp4Profile = request.mp4Profile;
    choices.audioTrack = request.audioTrack;
    if (request.subtitlesGiven)
        choices.subtitleTrack = request.subtitleTrack;
    choices.subtitleFile = request.subtitleFile;
    Task task = newTask(path, duration, choices, mediaForcedSubtitleTrack);
    setTaskTrim(task, request.start, request.end < 0 ? duration : request.end, duration);
    if (request.title)
        setTaskTitle(task, *request.title);
    return task;
}

// Ctrl+C, a closed terminal (SIGHUP) and SIGTERM stop the batch the way the stop
// button does.
class StopOnSignals
{
public:
    explicit StopOnSignals(BatchDriver& driver) : m_driver(driver)
    {
        ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe);
        m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { stop(); });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        ::sigaction(SIGINT, &action, nullptr);
        ::sigaction(SIGTERM, &action, nullptr);
        ::sigaction(SIGHUP, &action, nullptr);
        // A reader of our output that went away must not end us in the middle of a file.
        ::signal(SIGPIPE, SIG_IGN);
    }

    bool interrupted() const { return m_interrupted; }

private:
    void stop()
    {
        char byte;
        [[maybe_unused]] const ssize_t n = ::read(g_signalPipe[0], &byte, 1);
        if (!m_interrupted && m_driver.converting()) {
            print(QStringLiteral("Stopping..."));
            m_interrupted = true;
            m_driver.stopConverting();
        }
    }

    BatchDriver& m_driver;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_interrupted = false;
};

// With TRELVO_STALL_PROBE set, measures how long the event loop is ever kept waiting
// during the batch (the benchmarks read it).
class StallProbe
{
public:
    StallProbe()
    {
        if (!qEnvironmentVariableIsSet("TRELVO_STALL_PROBE"))
            return;
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_sinceTick.isValid())
                m_longestStall = qMax(m_longestStall, m_sinceTick.elapsed() - m_timer.interval());
            m_sinceTick.start();
        });
        m_timer.start(10);
    }

    void report() const
    {
        if (m_timer.isActive())
            print(QStringLiteral("longest event-loop stall: %1 ms").arg(m_longestStall));
    }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_longestStall = 0;
};

// Lists how each Task ended; the exit status for those ends.
int printOutcomes(const TaskList& tasks, const BatchDriver& driver)
{
    int failed = 0;
    int finished = 0;
    for (int i = 0; i < tasks.size(); ++i) {
        const Task task = tasks.get(i);
        const QString name = QFileInfo(task.sourcePath).fileName();
        const TaskState state = driver.taskState(i);
        if (state == TaskState::Failed) {
            ++failed;
            print(QStringLiteral("  failed    %1: %2").arg(name, task.failureReason));
            if (!task.logPath.isEmpty())
                print(QStringLiteral("            log: %1").arg(task.logPath));
        } else if (state == TaskState::Finished) {
            ++finished;
            print(QStringLiteral("  finished  %1 -> %2").arg(name, driver.outputOf(i)));
            if (!task.warning.isEmpty())
                print(QStringLiteral("            warning: %1").arg(task.warning));
            for (const QString& change : task.change.split(u'\n', Qt::SkipEmptyParts))
                print(QStringLiteral("            changed: %1").arg(change));
        } else {
            print(QStringLiteral("  stopped   %1").arg(name));
        }
    }
    return failed > 0 || finished < tasks.size() ? kExitFailed : 0;
}

// Says, before anything is written, when the files will not fit in the room left in the
// folder. The batch goes on: nobody is there to be asked, and the estimate can be more
// than the encoder writes; the files that do not fit fail, as any other.
void warnWhenShortOfRoom(const TaskList& tasks, const QString& folder)
{
    const SizeEstimate sizes(appFolder(), wmvBitRates);
    qint64 needed = 0;
    for (int i = 0; i < tasks.size(); ++i)
        needed += sizes.bytes(tasks.get(i));
    const QString warning = roomWarning(needed, freeRoom(folder), folder);
    if (warning.isEmpty())
        return;
    QString text = QStringLiteral("warning: ");
    text += warning;
    text += QStringLiteral(" Converting anyway: the files that do not fit will fail.");
    printError(text);
}

// Converts the Tasks as the window's batch does, printing as it goes; the exit status.
int runBatch(QCoreApplication& app, TaskList& tasks, MediaEngine& media,
             const ConvertRequest& request)
{
    BatchState batch;
    ConsoleHost host(tasks, batch);
    LogindPowerControl power;
    BatchDriver driver(tasks, batch, media, host, power);
    host.setDriver(&driver);
    QObject::connect(&driver, &BatchDriver::taskChanged,
                     [&host](int index) { host.onTaskChanged(index); });
    driver.setJobs(request.jobs);
    TaskLog log(tasks);
    log.attach(driver);
    StopOnSignals stopper(driver);
    StallProbe probe;

    // The program ends once the batch has ended and every encoder has finished its file
    // (after a stop, those that were running still write their ends).
    auto quitWhenDone = [&] {
        if (!driver.converting() && driver.runningEncoders() == 0)
            QCoreApplication::exit(0);
    };
    QObject::connect(&driver, &BatchDriver::batchEnded, &app, quitWhenDone, Qt::QueuedConnection);
    QObject::connect(&driver, &BatchDriver::allEncodersEnded, &app, quitWhenDone,
                     Qt::QueuedConnection);

    BatchDriver::Summary summary;
    QObject::connect(&driver, &BatchDriver::batchEnded,
                     [&summary](const BatchDriver::Summary& s) { summary = s; });
    print(QStringLiteral("Converting %1 file(s) into %2").arg(tasks.size()).arg(request.folder));
    driver.startConverting(request.folder);
    if (driver.converting() || driver.runningEncoders() > 0)
        app.exec();
    probe.report();

    const int status = printOutcomes(tasks, driver);
    // The same words as the window's closing message, with the counts always.
    print(BatchDriver::summaryText(summary, true));
    return stopper.interrupted() ? kExitStopped : status;
}

} // namespace

bool wantsCommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (qstrncmp(argv[i], "--", 2) == 0 || qstrcmp(argv[i], "-h") == 0)
            return true;
    }
    return false;
}

int runCommandLine(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("trelvo-converter"));
    setProgramFolder(QCoreApplication::applicationDirPath());

    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(QCoreApplication::arguments())) {
        printError(parser.errorText());
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    // Paths on the command line are relative to where the user is; reading the profile
    // file moves the working directory to the app folder.
    ConvertRequest request;
    for (const QString& file : parser.positionalArguments())
        request.files.append(QFileInfo(file).absoluteFilePath());
    const QString folder = parser.isSet(QStringLiteral("output"))
                               ? parser.value(QStringLiteral("output"))
                               : storedOutputFolder();
    request.folder = QDir(folder).absolutePath();

    MediaEngine media;
    if (parser.isSet(QStringLiteral("list-profiles"))) {
        listProfiles(media);
        return 0;
    }
    if (!parser.isSet(QStringLiteral("convert")) || request.files.isEmpty()) {
        printError(parser.isSet(QStringLiteral("convert"))
                       ? QStringLiteral("--convert needs at least one file")
                       : QStringLiteral("nothing to do"));
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
    if (!readConversionSettings(parser, media, request) || !readTrackChoices(parser, request))
        return kExitUsage;
    if (!QDir().mkpath(request.folder)) {
        printError(QStringLiteral("cannot create the output folder %1").arg(request.folder));
        return kExitUsage;
    }

    TaskList tasks;
    for (const QString& path : request.files)
        tasks.add(taskOfRequest(media, path, request));
    warnWhenShortOfRoom(tasks, request.folder);
    return runBatch(app, tasks, media, request);
}
