#include "av/pieces.h"

#include <algorithm>

namespace av {

Status Piece::open(const Segment* video, const Segment* audio)
{
    const bool shared = video && audio && video->path == audio->path &&
                        video->start == audio->start && video->end == audio->end;
    Status first;
    for (const Segment* segment : {video, audio}) {
        if (!segment || (segment == audio && shared))
            continue;
        SourceRequest request;
        request.path = segment->path;
        request.start = segment->start;
        request.length = segment->end - segment->start;
        request.video = segment == video;
        request.audio = segment == audio || shared;
        if (request.audio)
            request.audioTrack = m_choices.audioTrack;
        if (request.video) {
            request.subtitleTrack = m_choices.subtitleTrack;
            request.subtitleFile = m_choices.subtitleFile;
        }
        auto source = std::make_unique<Source>(m_cancel);
        if (Status opened = source->open(request); !opened) {
            if (source->refusedChoice()) {
                m_refusedChoice = true;
                return Status::failure(segment->path + ": " + opened.error());
            }
            if (first.ok())
                first = Status::failure("Cannot read " + segment->path + ": " + opened.error());
            continue;
        }
        m_sources.push_back(std::move(source));
    }
    m_done.assign(m_sources.size(), false);
    return first;
}

Source* Piece::videoSource() const
{
    for (const auto& source : m_sources) {
        if (source->hasVideo())
            return source.get();
    }
    return nullptr;
}

Source* Piece::audioSource() const
{
    for (const auto& source : m_sources) {
        if (source->hasAudio())
            return source.get();
    }
    return nullptr;
}

void Piece::remove(const Source* source)
{
    std::erase_if(m_sources, [source](const auto& s) { return s.get() == source; });
    m_done.assign(m_sources.size(), false);
    m_turn = 0;
}

double Piece::length() const
{
    double longest = 0.0;
    for (const auto& source : m_sources) {
        if (source->hasVideo() || source->hasAudio())
            longest = std::max(longest, source->length());
    }
    return longest;
}

Source::Kind Piece::next(AVFrame* out, AVRational* timeBase, Source** from, Source** failed)
{
    while (std::find(m_done.begin(), m_done.end(), false) != m_done.end()) {
        if (m_cancel && m_cancel->load())
            return Source::Kind::End;
        const size_t turn = m_turn;
        m_turn = (m_turn + 1) % m_sources.size();
        if (m_done[turn])
            continue;
        Source& source = *m_sources[turn];
        const Source::Kind kind = source.next(out);
        if (kind == Source::Kind::End) {
            m_done[turn] = true;
            if (!source.failure().ok() && failed) {
                *failed = &source;
                return Source::Kind::End;
            }
            continue;
        }
        if (timeBase)
            *timeBase = source.timeBase(kind);
        if (from)
            *from = &source;
        return kind;
    }
    return Source::Kind::End;
}

size_t pieceCount(const std::vector<Segment>& video, const std::vector<Segment>& audio)
{
    return std::max(video.size(), audio.size());
}

const Segment* pieceSegment(const std::vector<Segment>& segments, size_t piece)
{
    return piece < segments.size() ? &segments[piece] : nullptr;
}

} // namespace av
