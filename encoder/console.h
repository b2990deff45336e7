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
void error(const std::string& text);

// Routes FFmpeg's own messages through writeLine, errors only, a limited number, and
// with the words of the progress grammar disguised so that no reader mistakes them.
void installLogFilter();

// Set by "q" on standard input, or by SIGINT/SIGTERM; the end of standard input
// leaves it alone.
class StopRequest
{
public:
    static void startWatching();
    static bool requested();
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
