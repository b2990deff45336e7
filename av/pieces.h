#pragma once

#include "av/source.h"

#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

// A segment set: the picture's segments and the sound's, paired by position into
// pieces that follow each other.
namespace av {

// A file and a span of it, in seconds.
struct Segment
{
    std::string path;
    double start = 0.0;
    double end = 0.0;
};

// The user's choices, asked of every source: see SourceRequest.
struct TrackChoices
{
    int audioTrack = 0;
    int subtitleTrack = 0;
    std::string subtitleFile;
};

// The sources of one piece, read side by side.
class Piece
{
public:
    explicit Piece(const std::atomic<bool>* cancel = nullptr, TrackChoices choices = {})
        : m_cancel(cancel), m_choices(std::move(choices))
    {
    }

    // Opens the piece of `video` and `audio` (either may be null): one source when both
    // are the same span of the same file, else one for each. Opens what it can; the
    // first failure names its file. A source that lacks a chosen track fails the piece,
    // and refusedChoice() then says so.
    Status open(const Segment* video, const Segment* audio);

    // Where the picture and the sound come from; null when the piece has none.
    Source* videoSource() const;
    Source* audioSource() const;
    const std::vector<std::unique_ptr<Source>>& sources() const { return m_sources; }
    bool refusedChoice() const { return m_refusedChoice; }
    // Leaves `source` out of the piece.
    void remove(const Source* source);
    // Seconds the piece lasts: its longest stream.
    double length() const;

    // The next frame of any of its sources, in turns, with the time base of its pts
    // (counted from the piece's start) and the source it came from. End when all are
    // done. A source that fails is done; with `failed` given, the piece ends there and
    // `*failed` is that source.
    Source::Kind next(AVFrame* out, AVRational* timeBase, Source** from, Source** failed);

private:
    const std::atomic<bool>* m_cancel;
    TrackChoices m_choices;
    bool m_refusedChoice = false;
    std::vector<std::unique_ptr<Source>> m_sources;
    std::vector<bool> m_done;
    size_t m_turn = 0;
};

// The pieces of a segment set: the i-th of each list together.
size_t pieceCount(const std::vector<Segment>& video, const std::vector<Segment>& audio);
// The i-th piece's segments; null where a list is shorter.
const Segment* pieceSegment(const std::vector<Segment>& segments, size_t piece);

} // namespace av
