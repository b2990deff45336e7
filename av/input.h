#pragma once

#include "av/handles.h"
#include "av/status.h"

#include <string>

// Reading a source: the file, the streams worth converting, their decoders.
namespace av {

// Opens `path` as a file, whatever its name holds (a ':' would otherwise name a
// protocol). A pipe, socket or character device is refused: reading one could wait
// forever, deaf to a stop. Null with the reason in `*status` (may be null).
InputPtr openInput(const std::string& path, Status* status);

// Reads as much of the source as it takes to know its streams.
Status readStreamInfo(AVFormatContext* input);

struct StreamChoice
{
    int video = -1; // stream indexes; -1 for none
    int audio = -1;
};
// The best picture and the best sound, the sound from the picture's program when the
// file has several. A cover picture (attached to many sound files) is no video.
StreamChoice chooseStreams(AVFormatContext* input);

// An open decoder for `stream`, timed in the stream's time base and using as many
// threads as FFmpeg likes. Null with the reason in `*status` (may be null).
CodecPtr openDecoder(const AVStream* stream, Status* status);

} // namespace av
