#pragma once

#include "av/handles.h"
#include "av/status.h"

#include <initializer_list>
#include <string>
#include <vector>

// What a source needs before its pictures and sound suit the player: turned upright,
// woven into whole pictures, brought down to 8-bit SDR, surround folded to stereo, the
// chosen subtitles drawn in. Each answer is a filter chain (empty when nothing is
// needed) for the chains the converters build.
namespace av {

// --- Orientation -----------------------------------------------------------------

struct Upright
{
    std::string chain;       // "transpose=clock", "hflip,vflip"...; empty when upright
    bool swapsSides = false; // a quarter turn: the picture's width becomes its height
    int degrees = 0;         // clockwise turn the display matrix asks for: 0, 90, 180, 270
};
// From the stream's display matrix, else its "rotate" tag. A turn that is no quarter
// turn is left alone (it would need a wider frame than the picture).
Upright upright(const AVStream* stream);

// The picture's shape once upright: width over height, sample aspect included.
double uprightAspect(const AVStream* stream, AVRational sampleAspect);

// --- Picture depth and range -----------------------------------------------------

// Whether the pictures carry HDR light (PQ or HLG transfer).
bool isHdr(const AVCodecParameters* par);
// The chain that brings a deep, wide or HDR picture down to 8-bit 4:2:0 SDR with
// dithering, or "" for a picture that is already 8-bit 4:2:0 SDR (the scaler's own
// conversion is kept for those). Put it after the picture is scaled to its size in the
// frame: converting the smaller picture costs far less. Uses zscale and tonemap.
std::string eightBitChain(const AVCodecParameters* par);

// --- Interlace -------------------------------------------------------------------

// Whether a stream whose header says nothing of its fields may still be interlaced: a
// codec that can carry fields, at a size that television uses.
bool mayBeInterlacedUnflagged(const AVStream* stream);
// Decodes up to `seconds` of the stream from the start of the file through `idet` and
// says whether most of the pictures it could judge are interlaced.
bool detectInterlace(const std::string& path, int streamIndex, double seconds = 2.0);
// The deinterlacer for the stream, or "": for a stream flagged interlaced always, for an
// unflagged one only when detectInterlace finds it so (it reads from `path`).
std::string deinterlaceChain(const std::string& path, const AVStream* stream);

// --- Sound -----------------------------------------------------------------------

// The standard downmix to two channels for a source of more than two: the centre, the
// sides and the backs mixed into both fronts at -3 dB, the low-frequency channel left
// out, so dialogue in the centre is kept. "" for mono and stereo sources.
std::string stereoDownmixChain(const AVChannelLayout& layout);

// --- Tracks ----------------------------------------------------------------------

struct Track
{
    int streamIndex = -1; // in the file
    int number = 0;       // 1-based among the file's tracks of its type
    std::string language; // ISO 639 tag as the file writes it; may be empty
    std::string title;
    std::string codec; // FFmpeg's codec name
    int channels = 0;  // sound only
    bool isDefault = false;
    bool forced = false;
    bool text = false; // subtitles: text (rendered by libass) rather than pictures
};
// The file's sound (AVMEDIA_TYPE_AUDIO) or subtitle (AVMEDIA_TYPE_SUBTITLE) tracks in
// file order. A cover picture is no track.
std::vector<Track> listTracks(const AVFormatContext* input, AVMediaType type);
// What the user reads: "1: English, AC-3 5.1", "2: Japanese, Commentary, AAC stereo",
// "1: English, SRT (forced)".
std::string trackLabel(const Track& track);
// The language's English name for common ISO 639 tags, else the tag; "" for none or
// "und".
std::string languageName(const std::string& tag);

// The sound track taken when the user chose none: the one marked default, else the
// first. An index into `tracks`; -1 when there are none.
int defaultAudioTrack(const std::vector<Track>& tracks);
// The subtitles taken when the user chose none: a forced track in the sound's language,
// else none (-1).
int defaultSubtitleTrack(const std::vector<Track>& subtitles, const std::string& audioLanguage);

// --- Subtitles -------------------------------------------------------------------

// Text subtitles drawn by libass: from the file's `subtitleNumber`-th subtitle track
// (1-based, counted among subtitle tracks) or, with subtitleNumber 0, from a .srt/.ass
// file at `path`. The pictures must carry the source's own timestamps.
std::string textSubtitlesChain(const std::string& path, int subtitleNumber);

// A .srt or .ass file beside `source` with its name ("film.mkv" -> "film.srt"); "" when
// there is none.
std::string subtitleFileBeside(const std::string& source);

// The chain that draws the subtitles chosen: the source's `track` (1-based among its
// subtitle tracks) or, when `subtitleFile` is not empty, that file; "" for neither. A
// track that does not exist is refused with the reason. A track of pictures takes no
// chain: its stream index goes to `*pictureStream` (-1 otherwise; may be null).
Status subtitlesChain(const AVFormatContext* input, const std::string& sourcePath, int track,
                      const std::string& subtitleFile, std::string* chain,
                      int* pictureStream = nullptr);

// The stream index of the source's `track`-th sound track (1-based), or the reason
// there is none.
Status audioTrackStream(const AVFormatContext* input, int track, int* streamIndex);

// Joins filter chains, leaving out the empty ones.
std::string joinChains(std::initializer_list<std::string> chains);

// Escapes a value for a filter chain's option (quotes, colons, commas, backslashes).
std::string escapeFilterValue(const std::string& value);

} // namespace av
