#include "av/durationscan.h"

#include "av/handles.h"
#include "av/input.h"
#include "av/timeline.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <vector>

namespace av {

ScannedDuration scanDuration(const std::string& path, double budgetSeconds)
{
    ScannedDuration result;
    InputPtr input = openInput(path, nullptr);
    PacketPtr packet = makePacket();
    if (!input || !packet || !readStreamInfo(input.get()))
        return result;
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration<double>(std::max(0.0, budgetSeconds));
    double first = std::numeric_limits<double>::infinity();
    double last = 0.0;
    std::vector<int64_t> pictures(input->nb_streams, 0);
    // Times that start over midway run on.
    TimelineMender mender(input.get());
    int64_t read = 0;
    for (;;) {
        if ((++read & 255) == 0 && std::chrono::steady_clock::now() > deadline)
            break;
        const int rc = av_read_frame(input.get(), packet.get());
        if (rc < 0) {
            result.complete = rc == AVERROR_EOF || avio_feof(input->pb);
            break;
        }
        mender.mend(packet.get());
        const AVStream* stream = input->streams[packet->stream_index];
        const AVMediaType type = stream->codecpar->codec_type;
        if (type == AVMEDIA_TYPE_VIDEO || type == AVMEDIA_TYPE_AUDIO) {
            const int64_t ts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (ts != AV_NOPTS_VALUE) {
                const double tb = av_q2d(stream->time_base);
                first = std::min(first, ts * tb);
                last = std::max(last, (ts + std::max<int64_t>(0, packet->duration)) * tb);
            } else if (type == AVMEDIA_TYPE_VIDEO) {
                ++pictures[packet->stream_index];
            }
        }
        av_packet_unref(packet.get());
    }
    const int64_t size = input->pb ? avio_size(input->pb) : -1;
    if (result.complete)
        result.share = 1.0;
    else if (size > 0)
        result.share = std::clamp(double(avio_tell(input->pb)) / double(size), 0.0, 1.0);
    double seconds = last > first ? last - first : 0.0;
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (!pictures[i])
            continue;
        AVRational rate = input->streams[i]->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = input->streams[i]->r_frame_rate;
        if (rate.num > 0 && rate.den > 0)
            seconds = std::max(seconds, pictures[i] / av_q2d(rate));
    }
    result.seconds = seconds;
    return result;
}

} // namespace av
