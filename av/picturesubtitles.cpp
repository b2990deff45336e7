#include "av/picturesubtitles.h"

#include "av/input.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace av {

namespace {

// Subtitles decoded ahead of the picture are few, unless a file keeps them apart from
// its pictures; past this many bytes of drawings (a whole film's, as a rule) the file is
// damaged or hostile, and the oldest are let go.
constexpr int64_t kMostWaitingBytes = int64_t(256) << 20;

int64_t bytesOf(const AVSubtitle& subtitle)
{
    int64_t bytes = 1024;
    for (unsigned i = 0; i < subtitle.num_rects; ++i)
        bytes += int64_t(std::max(0, subtitle.rects[i]->w)) * std::max(0, subtitle.rects[i]->h);
    return bytes;
}

FramePtr pictureFrame(AVPixelFormat format, int width, int height)
{
    FramePtr frame = makeFrame();
    if (!frame)
        return nullptr;
    frame->format = format;
    frame->width = width;
    frame->height = height;
    if (av_frame_get_buffer(frame.get(), 0) < 0)
        return nullptr;
    return frame;
}

} // namespace

PictureSubtitles::PictureSubtitles() = default;

PictureSubtitles::~PictureSubtitles()
{
    sws_freeContext(m_scaler);
}

Status PictureSubtitles::open(const AVStream* stream, int64_t origin, int videoWidth,
                              int videoHeight)
{
    Status why;
    m_decoder = openDecoder(stream, &why);
    if (!m_decoder)
        return why;
    m_streamIndex = stream->index;
    m_origin = origin;
    // DVD and DVB subtitles are drawn on the picture they were made for: their own size
    // when the stream says it, else the video's.
    const bool named = stream->codecpar->width > 0 && stream->codecpar->height > 0;
    m_canvasWidth = named ? stream->codecpar->width : videoWidth;
    m_canvasHeight = named ? stream->codecpar->height : videoHeight;
    return {};
}

void PictureSubtitles::setPicture(int width, int height, AVRational timeBase)
{
    m_width = std::max(2, width);
    m_height = std::max(2, height);
    m_timeBase = timeBase;
    m_shown.reset();
    m_clear.reset();
}

std::string PictureSubtitles::sideInput() const
{
    return "video_size=" + std::to_string(m_width) + "x" + std::to_string(m_height) +
           ":pix_fmt=" + std::to_string(AV_PIX_FMT_YUVA420P) +
           ":time_base=" + std::to_string(m_timeBase.num) + "/" + std::to_string(m_timeBase.den) +
           ":pixel_aspect=1/1";
}

std::string PictureSubtitles::overlayChain(const std::string& before, const std::string& after)
{
    return "[in]" + (before.empty() ? std::string("null") : before) +
           "[picture];[picture][side]overlay=eof_action=pass:format=auto" +
           (after.empty() ? std::string() : "," + after) + "[out]";
}

void PictureSubtitles::decode(const AVPacket* packet)
{
    if (!m_decoder)
        return;
    AVSubtitle decoded{};
    int got = 0;
    // The decoder takes a packet it may not change; older headers say otherwise.
    const int rc =
        avcodec_decode_subtitle2(m_decoder.get(), &decoded, &got, const_cast<AVPacket*>(packet));
    if (rc < 0 || !got)
        return;
    std::shared_ptr<AVSubtitle> subtitle(new AVSubtitle(decoded), [](AVSubtitle* s) {
        avsubtitle_free(s);
        delete s;
    });
    int64_t at = subtitle->pts;
    if (at == AV_NOPTS_VALUE && packet->pts != AV_NOPTS_VALUE)
        at = av_rescale_q(packet->pts, m_decoder->pkt_timebase, AV_TIME_BASE_Q);
    if (at == AV_NOPTS_VALUE)
        return;
    Shown shown;
    shown.start = at + int64_t(subtitle->start_display_time) * 1000 - m_origin;
    // Blu-ray subtitles last until the next one (often an empty one that clears them);
    // others say how long, or their packet does.
    if (subtitle->end_display_time > subtitle->start_display_time &&
        subtitle->end_display_time != UINT32_MAX)
        shown.end = at + int64_t(subtitle->end_display_time) * 1000 - m_origin;
    else if (packet->duration > 0)
        shown.end =
            shown.start + av_rescale_q(packet->duration, m_decoder->pkt_timebase, AV_TIME_BASE_Q);
    else
        shown.end = INT64_MAX;
    shown.bytes = bytesOf(*subtitle);
    shown.subtitle = std::move(subtitle);
    m_waitingBytes += shown.bytes;
    while (m_waitingBytes > kMostWaitingBytes && !m_waiting.empty()) {
        m_waitingBytes -= m_waiting.front().bytes;
        m_waiting.pop_front();
    }
    const auto later =
        std::upper_bound(m_waiting.begin(), m_waiting.end(), shown.start,
                         [](int64_t start, const Shown& waiting) { return start < waiting.start; });
    m_waiting.insert(later, std::move(shown));
}

FramePtr PictureSubtitles::blankPicture() const
{
    FramePtr frame = pictureFrame(AV_PIX_FMT_YUVA420P, m_width, m_height);
    if (!frame)
        return nullptr;
    const int fill[4] = {16, 128, 128, 0};
    for (int plane = 0; plane < 4; ++plane) {
        const int rows = plane == 1 || plane == 2 ? (m_height + 1) / 2 : m_height;
        std::memset(frame->data[plane], fill[plane], size_t(frame->linesize[plane]) * rows);
    }
    return frame;
}

FramePtr PictureSubtitles::draw(const AVSubtitle& subtitle)
{
    // The canvas the subtitle's places count on: the decoder learns it from Blu-ray
    // subtitles themselves.
    int width = m_decoder->width > 0 ? m_decoder->width : m_canvasWidth;
    int height = m_decoder->height > 0 ? m_decoder->height : m_canvasHeight;
    if (width <= 0 || height <= 0) {
        for (unsigned i = 0; i < subtitle.num_rects; ++i) {
            width = std::max(width, subtitle.rects[i]->x + subtitle.rects[i]->w);
            height = std::max(height, subtitle.rects[i]->y + subtitle.rects[i]->h);
        }
    }
    if (av_image_check_size(unsigned(width), unsigned(height), 0, nullptr) < 0 ||
        int64_t(width) * height > 4096 * 4096)
        return nullptr;
    FramePtr canvas = pictureFrame(AV_PIX_FMT_RGB32, width, height);
    if (!canvas)
        return nullptr;
    for (int y = 0; y < height; ++y)
        std::memset(canvas->data[0] + size_t(y) * canvas->linesize[0], 0, size_t(width) * 4);
    bool drawn = false;
    for (unsigned i = 0; i < subtitle.num_rects; ++i) {
        const AVSubtitleRect& rect = *subtitle.rects[i];
        if (rect.type != SUBTITLE_BITMAP || !rect.data[0] || !rect.data[1] || rect.w <= 0 ||
            rect.h <= 0 || rect.nb_colors <= 0)
            continue;
        const auto* palette = reinterpret_cast<const uint32_t*>(rect.data[1]);
        const int colours = std::min(rect.nb_colors, 256);
        const int left = std::max(0, rect.x), right = std::min(width, rect.x + rect.w);
        const int top = std::max(0, rect.y), bottom = std::min(height, rect.y + rect.h);
        for (int y = top; y < bottom; ++y) {
            const uint8_t* in = rect.data[0] + size_t(y - rect.y) * rect.linesize[0];
            auto* out =
                reinterpret_cast<uint32_t*>(canvas->data[0] + size_t(y) * canvas->linesize[0]);
            for (int x = left; x < right; ++x) {
                const uint8_t index = in[x - rect.x];
                if (index < colours)
                    out[x] = palette[index];
            }
        }
        drawn = drawn || (right > left && bottom > top);
    }
    if (!drawn)
        return nullptr;
    m_scaler = sws_getCachedContext(m_scaler, width, height, AV_PIX_FMT_RGB32, m_width, m_height,
                                    AV_PIX_FMT_YUVA420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    FramePtr picture = pictureFrame(AV_PIX_FMT_YUVA420P, m_width, m_height);
    if (!m_scaler || !picture ||
        sws_scale(m_scaler, canvas->data, canvas->linesize, 0, height, picture->data,
                  picture->linesize) <= 0)
        return nullptr;
    return picture;
}

Status PictureSubtitles::feed(FilterGraph& filters, int64_t pts)
{
    const int64_t now = av_rescale_q(pts, m_timeBase, AV_TIME_BASE_Q);
    // Of the subtitles due by now, only the last one shows.
    std::shared_ptr<AVSubtitle> due;
    while (!m_waiting.empty() && m_waiting.front().start <= now) {
        due = m_waiting.front().subtitle;
        m_shownEnd = m_waiting.front().end;
        m_waitingBytes -= m_waiting.front().bytes;
        m_waiting.pop_front();
    }
    if (due)
        m_shown = due->num_rects > 0 && m_shownEnd > now ? draw(*due) : nullptr;
    if (m_shown && now >= m_shownEnd)
        m_shown.reset();
    if (!m_clear && !(m_clear = blankPicture()))
        return Status::failure("cannot draw the subtitles", AVERROR(ENOMEM));
    AVFrame* frame = m_shown ? m_shown.get() : m_clear.get();
    frame->pts = pts;
    return filters.addSide(frame);
}

} // namespace av
