#pragma once

#include <cstddef>

// What the encoder program and the engine that runs it agree on: the exit statuses,
// the words of a progress line and the prefix of the encoder's own lines. Plain C++,
// read by the encoder (no Qt) and by the engine (QtCore).
namespace encoderprotocol {

// Exit statuses besides 0, success.
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;            // the command line cannot be used
inline constexpr int kExitOutputExists = 3;     // the caller may retry under another name
inline constexpr int kExitSourceUnreadable = 4; // not a video or sound the encoder can decode
inline constexpr int kExitOutputUnwritable = 5; // the output could not be made or written
inline constexpr int kExitInterrupted = 6;      // a signal, not "q", ended the run early

// Every line the encoder writes itself starts so; a failure goes on with kErrorWord.
inline constexpr char kNotePrefix[] = "trelvo-encoder: ";
inline constexpr char kErrorWord[] = "error: ";
// A setting of the command line that the encoder cannot keep is a note that goes on
// with kChangedWord, why, and kUsingWord with what it takes instead: "trelvo-encoder:
// changed: AAC has no sample rate of 54000 Hz; using 48000 Hz". The file is made all
// the same; the program that runs us tells its user.
inline constexpr char kChangedWord[] = "changed: ";
inline constexpr char kUsingWord[] = "; using ";

// A progress line: "frame=   12 fps= 25 size=     123kB time=4.52 bitrate= 300.0kbits/s".
// After "size=" come exactly kSizeWidth characters of kilobytes; after "time=" the
// seconds with two decimals, of which the reader takes at most kTimeWidth characters
// and needs at least kTimeMinWidth.
inline constexpr char kSizeKey[] = "size=";
inline constexpr char kTimeKey[] = "time=";
inline constexpr std::size_t kKeyLength = 5;
inline constexpr std::size_t kSizeWidth = 8;
inline constexpr std::size_t kTimeWidth = 5;
inline constexpr std::size_t kTimeMinWidth = 4;
inline constexpr char kProgressFormat[] =
    "frame=%5lld fps=%3.0f size=%8lldkB time=%.2f bitrate=%6.1fkbits/s";

} // namespace encoderprotocol
