#pragma once

#include "av/handles.h"
#include "av/status.h"

#include <functional>

namespace av {

// Takes one packet the encoder made (the callee may take its data) and writes it out.
using PacketWriter = std::function<Status(AVPacket* packet)>;

// Sends `frame` to `encoder` (null: the end of the stream, after which the encoder
// gives out all it holds) and hands every packet it has ready to `write`. `scratch`
// is a packet to receive into.
Status encode(AVCodecContext* encoder, const AVFrame* frame, AVPacket* scratch,
              const PacketWriter& write);

} // namespace av
