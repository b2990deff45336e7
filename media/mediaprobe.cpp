#include "media/mediaprobe.h"

#include "av/durationscan.h"
#include "av/handles.h"
#include "av/input.h"
#include "av/sourcefilters.h"
#include "av/timeline.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <algorithm>
#include <limits>

namespace {

// Enough of the end of a file to hold the last packets of every stream.
constexpr int64_t kTailBytes = 1 << 20;
constexpr int kHeadPackets = 200;
// How long a source without timestamps may be read to count its pictures.
constexpr int kScanBudgetSeconds = 10;

double durationFromPackets(AVFormatContext* ctx)
{
    av::PacketPtr packet = av::makePacket();
    if (!packet)
        return 0.0;
    double first = std::numeric_limits<double>::infinity();
    double last = -std::numeric_limits<double>::infinity();
    auto track = [&](const AVPacket* p) {
        const AVStream* st = ctx->streams[p->stream_index];
        const int64_t ts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
        if (ts == AV_NOPTS_VALUE)
            return;
        const double tb = av_q2d(st->time_base);
        first = std::min(first, ts * tb);
        last = std::max(last, (ts + std::max<int64_t>(0, p->duration)) * tb);
    };
    for (int i = 0; i < kHeadPackets && av_read_frame(ctx, packet.get()) >= 0; ++i) {
        track(packet.get());
        av_packet_unref(packet.get());
    }
    const int64_t size = ctx->pb ? avio_size(ctx->pb) : -1;
    // Should the jump fail, the packets are read on from here: slower, the same answer.
    if (size > kTailBytes)
        av_seek_frame(ctx, -1, size - kTailBytes, AVSEEK_FLAG_BYTE);
    while (av_read_frame(ctx, packet.get()) >= 0) {
        track(packet.get());
        av_packet_unref(packet.get());
    }
    return last > first ? last - first : 0.0;
}

// The files whose reading ran out of time before their end, with how far it got, so
// that the reason can be given when their length is asked for. A file is known by its
// name, size and time of change: one rewritten since is measured anew.
QMutex tooLongMutex;
QHash<QString, double> tooLong;

QString fileKey(const QString& path)
{
    const QFileInfo info(path);
    return QStringLiteral("%1|%2|%3")
        .arg(info.absoluteFilePath())
        .arg(info.size())
        .arg(info.lastModified().toMSecsSinceEpoch());
}

} // namespace

double mediaDuration(const QString& path)
{
    av::InputPtr ctx = av::openInput(QFile::encodeName(path).toStdString(), nullptr);
    if (!ctx)
        return 0.0;
    // A clock that starts over midway (joined DVD titles, a restarted recorder) makes the
    // header's length short: such a file is read through, as long as that takes little.
    if (ctx->iformat->flags & AVFMT_TS_DISCONT) {
        const std::string name = QFile::encodeName(path).toStdString();
        av::InputPtr look = av::openInput(name, nullptr);
        if (look && av::readStreamInfo(look.get()) && av::clockRestarts(look.get())) {
            const av::ScannedDuration scanned = av::scanDuration(name, kScanBudgetSeconds);
            if (scanned.complete && scanned.seconds > 0.0)
                return scanned.seconds;
            // Too big to read through (a whole film's titles joined): what was read tells
            // the pace, and the rest is reckoned at it, a little over rather than under,
            // so that converting the whole file takes all of it.
            if (scanned.seconds > 0.0 && scanned.share > 0.01)
                return scanned.seconds / scanned.share * 1.05;
        }
    }
    if (ctx->duration > 0 && ctx->duration != AV_NOPTS_VALUE)
        return double(ctx->duration) / AV_TIME_BASE;
    double longest = 0.0;
    for (unsigned i = 0; i < ctx->nb_streams; ++i) {
        const AVStream* st = ctx->streams[i];
        if (st->duration > 0 && st->duration != AV_NOPTS_VALUE)
            longest = std::max(longest, st->duration * av_q2d(st->time_base));
    }
    if (longest > 0.0)
        return longest;
    if (const double fromEnds = durationFromPackets(ctx.get()); fromEnds > 0.0)
        return fromEnds;
    // A raw stream has no timestamps at all: its pictures are counted.
    const av::ScannedDuration scanned =
        av::scanDuration(QFile::encodeName(path).toStdString(), kScanBudgetSeconds);
    const QMutexLocker lock(&tooLongMutex);
    if (!scanned.complete) {
        tooLong.insert(fileKey(path), scanned.seconds);
        return 0.0;
    }
    tooLong.remove(fileKey(path));
    return scanned.seconds;
}

QString mediaSourceProblem(const QString& path)
{
    {
        const QMutexLocker lock(&tooLongMutex);
        if (const auto found = tooLong.constFind(fileKey(path)); found != tooLong.constEnd()) {
            const int minutes = int(*found / 60);
            if (minutes < 1)
                return QStringLiteral("It is too long to measure without a length in its "
                                      "header (more than %1 seconds of reading)")
                    .arg(kScanBudgetSeconds);
            return QStringLiteral("It is too long to measure without a length in its header "
                                  "(%1 seconds of reading found more than %2 minutes, and no "
                                  "end)")
                .arg(kScanBudgetSeconds)
                .arg(minutes);
        }
    }
    const auto decodable = [](const AVFormatContext* ctx) {
        for (unsigned i = 0; i < ctx->nb_streams; ++i) {
            const AVStream* st = ctx->streams[i];
            const AVMediaType type = st->codecpar->codec_type;
            const bool picture =
                type == AVMEDIA_TYPE_VIDEO && !(st->disposition & AV_DISPOSITION_ATTACHED_PIC);
            if ((picture || type == AVMEDIA_TYPE_AUDIO) &&
                avcodec_find_decoder(st->codecpar->codec_id))
                return true;
        }
        return false;
    };
    av::Status error;
    av::InputPtr ctx = av::openInput(QFile::encodeName(path).toStdString(), &error);
    // Most containers name their streams in the header; reading into the streams for
    // the rest takes long enough to be felt, so it is done only when the header says
    // nothing.
    if (ctx && !decodable(ctx.get())) {
        if (const av::Status read = av::readStreamInfo(ctx.get()); !read)
            error = read;
    }
    if (!error.ok())
        return QStringLiteral("It is not a video or sound file this program can read (%1)")
            .arg(QString::fromStdString(error.error()));
    if (decodable(ctx.get()))
        return {};
    return QStringLiteral("The file holds no picture or sound that this program can decode");
}

MediaTracks mediaTracks(const QString& path)
{
    MediaTracks result;
    if (!QFileInfo(path).isFile())
        return result;
    av::InputPtr ctx = av::openInput(QFile::encodeName(path).toStdString(), nullptr);
    if (!ctx || !av::readStreamInfo(ctx.get()))
        return result;
    const auto audio = av::listTracks(ctx.get(), AVMEDIA_TYPE_AUDIO);
    const auto subtitles = av::listTracks(ctx.get(), AVMEDIA_TYPE_SUBTITLE);
    for (const av::Track& track : audio)
        result.audio << QString::fromStdString(av::trackLabel(track));
    for (const av::Track& track : subtitles)
        result.subtitles << QString::fromStdString(av::trackLabel(track));
    if (const std::string beside = av::subtitleFileBeside(QFile::encodeName(path).toStdString());
        !beside.empty())
        result.subtitleFiles << QFile::decodeName(beside.c_str());
    result.defaultAudio = av::defaultAudioTrack(audio);
    result.defaultSubtitles = av::defaultSubtitleTrack(
        subtitles, result.defaultAudio >= 0 ? audio[size_t(result.defaultAudio)].language : "");
    return result;
}

int mediaForcedSubtitleTrack(const QString& path, int audioTrack)
{
    if (!QFileInfo(path).isFile())
        return 0;
    av::InputPtr ctx = av::openInput(QFile::encodeName(path).toStdString(), nullptr);
    if (!ctx)
        return 0;
    // Reading into the streams decodes some of them: not needed where the header names
    // every stream and none is subtitles.
    const auto hasSubtitles = [](const AVFormatContext* input) {
        for (unsigned i = 0; i < input->nb_streams; ++i) {
            if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE)
                return true;
        }
        return false;
    };
    if (!(ctx->ctx_flags & AVFMTCTX_NOHEADER) && !hasSubtitles(ctx.get()))
        return 0;
    if (!av::readStreamInfo(ctx.get()))
        return 0;
    const auto audio = av::listTracks(ctx.get(), AVMEDIA_TYPE_AUDIO);
    const auto subtitles = av::listTracks(ctx.get(), AVMEDIA_TYPE_SUBTITLE);
    const int sound = audioTrack > 0 ? audioTrack - 1 : av::defaultAudioTrack(audio);
    if (sound < 0 || sound >= int(audio.size()))
        return 0;
    const int forced = av::defaultSubtitleTrack(subtitles, audio[size_t(sound)].language);
    return forced + 1;
}

QString mediaChoiceProblem(const QString& path, int audioTrack, int subtitleTrack,
                           const QString& subtitleFile)
{
    if (audioTrack <= 0 && subtitleTrack <= 0 && subtitleFile.isEmpty())
        return {};
    av::InputPtr ctx = av::openInput(QFile::encodeName(path).toStdString(), nullptr);
    if (!ctx || !av::readStreamInfo(ctx.get()))
        return QStringLiteral("The file cannot be read");
    if (audioTrack > 0) {
        int stream = -1;
        if (const av::Status found = av::audioTrackStream(ctx.get(), audioTrack, &stream); !found)
            return QString::fromStdString(found.error());
    }
    std::string chain;
    if (const av::Status drawn =
            av::subtitlesChain(ctx.get(), QFile::encodeName(path).toStdString(), subtitleTrack,
                               QFile::encodeName(subtitleFile).toStdString(), &chain);
        !drawn)
        return QString::fromStdString(drawn.error());
    return {};
}
