#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

// The encoder's side of the conversation with the program that runs it: progress
// lines, notes and errors on standard error, and "q" on standard input.
namespace console {

// Writes one line to standard error in a single write, so that lines never interleave.
void writeLine(const std::string& line);
void note(const std::string& text);
// A setting that could not be kept: `why`, and `instead`, what is used in its place.
void changed(const std::string& why, const std::string& instead);
void error(const std::string& text);

// Routes FFmpeg's own messages through writeLine, errors only, a limited number, and
// with the words of the progress grammar disguised so that no reader mistakes them.
void installLogFilter();

// Set by "q" on standard input or by the first SIGINT, SIGTERM or SIGHUP (a closed
// terminal, a task manager, or the death of the program that runs us); the end of
// standard input leaves it alone. Only "q" keeps the shorter file; after a signal the
// run is a failure and its file goes. A signal after
// that ends the encoder at once only when the output has not grown for kStuckAfter:
// whoever sends it twice cannot break a file that is still being finished.
class StopRequest
{
public:
    static constexpr std::chrono::seconds kStuckAfter{5};

    static void startWatching();
    static bool requested();
    // The stop came from a signal, not from "q".
    static bool bySignal();
    // Records that the output grew just now.
    static void madeProgress();
    // Where the output records the monotonic time of its writes.
    static std::atomic<int64_t>* progressStamp();
};

class ProgressReporter
{
public:
    ProgressReporter();
    // Prints a line when a quarter of a second has passed since the last one, or when
    // `force` is set.
    void report(int64_t frames, int64_t bytesWritten, double mediaSeconds, bool force = false);

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point m_start;
    Clock::time_point m_lastLine;
};

std::string progressLine(int64_t frames, double fps, int64_t bytesWritten, double mediaSeconds);

} // namespace console
