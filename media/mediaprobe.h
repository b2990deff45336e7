#pragma once

#include <QString>

// Seconds of media in a file, read from its container and stream headers; where they
// carry none (a cut-off stream), from the first and last packets' timestamps; where the
// packets have none (a raw video stream), by counting its pictures through the whole
// file, for at most ten seconds. Nothing is decoded. 0 for a file that cannot be opened,
// or too long to measure.
double mediaDuration(const QString& path);

// Why the file cannot be converted, in a user's words: not a media file this program
// reads, or no picture nor sound it can decode. Empty when it can be converted.
QString mediaSourceProblem(const QString& path);
