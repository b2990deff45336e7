#include "encoder/console.h"

#include "av/exclusiveoutput.h"
#include "encoder/protocol/encoderprotocol.h"

extern "C" {
#include <libavutil/log.h>
}

#include <csignal>
#include <cstdio>
#include <thread>
#include <unistd.h>

namespace console {

using namespace encoderprotocol;

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<bool> stoppedBySignal{false};
std::atomic<bool> quitRead{false};    // "q" came, before or after a signal
std::atomic<int64_t> lastProgress{0}; // monotonic nanoseconds
static_assert(std::atomic<bool>::is_always_lock_free && std::atomic<int64_t>::is_always_lock_free);

// Only atomics, the monotonic clock, write and _exit: all safe in a handler.
void onSignal(int)
{
    if (!stopRequested.exchange(true)) {
        stoppedBySignal = true;
        return;
    }
    const int64_t stuckAfter =
        std::chrono::duration_cast<std::chrono::nanoseconds>(StopRequest::kStuckAfter).count();
    if (trelvo::monotonicNanos() - lastProgress.load() < stuckAfter)
        return;
    // Nothing is removed: a stuck file system would make that hang too, and the program
    // that runs us deals with what is left.
    static const char line[] = "trelvo-encoder: error: stopped while the output made no progress\n";
    [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, line, sizeof line - 1);
    ::_exit(1);
}

void replaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::atomic<int> loggedErrors{0};
constexpr int maxLoggedErrors = 20;

void logCallback(void* avcl, int level, const char* format, va_list args)
{
    if (level > AV_LOG_ERROR)
        return;
    const int count = ++loggedErrors;
    if (count > maxLoggedErrors) {
        if (count == maxLoggedErrors + 1)
            writeLine("(further decoder messages are not shown)");
        return;
    }
    char text[1024];
    int printPrefix = 1;
    av_log_format_line2(avcl, level, format, args, text, sizeof text, &printPrefix);
    std::string line(text);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    replaceAll(line, kSizeKey, "size =");
    replaceAll(line, kTimeKey, "time =");
    writeLine(line);
}

} // namespace

void writeLine(const std::string& line)
{
    const std::string text = line + "\n";
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += size_t(n);
    }
}

void note(const std::string& text)
{
    writeLine(kNotePrefix + text);
}
void changed(const std::string& why, const std::string& instead)
{
    writeLine(std::string(kNotePrefix) + kChangedWord + why + kUsingWord + instead);
}
void error(const std::string& text)
{
    writeLine(std::string(kNotePrefix) + kErrorWord + text);
}

void installLogFilter()
{
    av_log_set_callback(logCallback);
}

void StopRequest::startWatching()
{
    madeProgress();
    struct sigaction action = {};
    action.sa_handler = onSignal;
    action.sa_flags = SA_RESTART;
    sigfillset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        ::sigaction(signal, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    // A blocking reader of its own: the conversion loop only looks at the flag.
    std::thread([] {
        char byte = 0;
        while (::read(STDIN_FILENO, &byte, 1) == 1) {
            if (byte == 'q' || byte == 'Q') {
                quitRead = true;
                stopRequested = true;
                return;
            }
        }
    }).detach();
}

bool StopRequest::requested()
{
    return stopRequested.load(std::memory_order_relaxed);
}

bool StopRequest::bySignal()
{
    // A signal that overtook a "q" already on its way is no stop of anyone else's.
    return stoppedBySignal.load() && !quitRead.load();
}

void StopRequest::madeProgress()
{
    lastProgress.store(trelvo::monotonicNanos(), std::memory_order_relaxed);
}

std::atomic<int64_t>* StopRequest::progressStamp()
{
    return &lastProgress;
}

std::string progressLine(int64_t frames, double fps, int64_t bytesWritten, double mediaSeconds)
{
    const double kbps = mediaSeconds > 0 ? bytesWritten * 8.0 / mediaSeconds / 1000.0 : 0.0;
    // The program that runs us reads the widths of "size=" and "time=".
    char line[160];
    std::snprintf(line, sizeof line, kProgressFormat, static_cast<long long>(frames), fps,
                  static_cast<long long>(bytesWritten / 1024), mediaSeconds, kbps);
    return line;
}

ProgressReporter::ProgressReporter() : m_start(Clock::now()), m_lastLine(m_start) {}

void ProgressReporter::report(int64_t frames, int64_t bytesWritten, double mediaSeconds, bool force)
{
    const Clock::time_point now = Clock::now();
    if (!force && now - m_lastLine < std::chrono::milliseconds(250))
        return;
    m_lastLine = now;
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    writeLine(
        progressLine(frames, elapsed > 0 ? frames / elapsed : 0.0, bytesWritten, mediaSeconds));
}

} // namespace console
