#pragma once

#include <string>

// The length of a source whose header does not say it (raw video streams, some
// broadcast captures, files cut short) or says it wrong (a clock that starts over), found
// by reading its packets.
namespace av {

struct ScannedDuration
{
    double seconds = 0.0;  // how far the reading got; 0 when the file could not be read
    bool complete = false; // false: the file ended the budget before its end was found
    double share = 0.0;    // of the file's bytes that were read; 0 when unknown
};

// Reads the whole of `path` without decoding, for at most `budgetSeconds` of wall time.
// A picture stream without timestamps is timed by counting its pictures at its rate; a
// clock that starts over midway runs on.
ScannedDuration scanDuration(const std::string& path, double budgetSeconds = 10.0);

} // namespace av
