#pragma once

#include "engine/task.h"

#include <QObject>
#include <QString>
#include <QStringList>

// A read-only list the media component hands out: its WMV profiles (Description) and
// its video and audio compressors (Name).
class MediaCollection
{
public:
    MediaCollection() = default;
    explicit MediaCollection(QStringList items) : m_items(std::move(items)) {}
    short Count() const { return short(m_items.size()); }
    QString Name(short index) const { return item(index); }
    QString Description(short index) const { return item(index); }

private:
    QString item(short index) const
    {
        return index >= 0 && index < m_items.size() ? m_items.at(index) : QString();
    }
    QStringList m_items;
};

// The conversions of the media component: WMV for the batch, AVI or MPEG for the
// RealMedia pre-conversion. Implemented on FFmpeg in media/; tests use a stand-in. It
// runs one conversion at a time; the events arrive on the thread that owns the object
// (the user-interface thread).
class MediaConverter : public QObject
{
    Q_OBJECT
public:
    enum OutputFormatCode
    {
        FormatMpeg = 6,
        FormatAvi = 8,
        FormatWmv = 9
    };

    using QObject::QObject;
    ~MediaConverter() override = default;

    virtual MediaCollection WmvProfiles() const = 0;
    virtual void SetWmvProfileIndex(short index) = 0;
    virtual void SetVideoCompressorIndex(short index) = 0;
    virtual MediaCollection VideoCompressors() const = 0;
    virtual void SetUseVideoCompressor(bool use) = 0;
    virtual void SetAudioCompressorIndex(short index) = 0;
    virtual MediaCollection AudioCompressors() const = 0;
    virtual void SetUseAudioCompressor(bool use) = 0;
    virtual void SetOutputHeight(short pixels) = 0;
    virtual void SetOutputWidth(short pixels) = 0;
    virtual void SetColorDepth(short bits) = 0;
    virtual void SetOutputFormat(int format) = 0;
    virtual void SetFrameRate(double fps) = 0;
    // The title written into the next WMV file, as the Zune shows it.
    virtual void SetTitle(const QString& title) { Q_UNUSED(title); }
    // The user's choices for the next conversions: the source's sound track (1-based
    // among its sound tracks; 0: the file's own choice) and the subtitles drawn into the
    // picture, the source's subtitle track (1-based; 0: none) or a .srt/.ass file (over
    // the track). A conversion whose source lacks the chosen track fails and says so.
    virtual void SetTrackChoices(int audioTrack, int subtitleTrack, const QString& subtitleFile)
    {
        Q_UNUSED(audioTrack);
        Q_UNUSED(subtitleTrack);
        Q_UNUSED(subtitleFile);
    }

    // Returns at once: true when the conversion started. One still running is stopped.
    virtual bool ConvertToFile(const QString& path) = 0;
    // Seconds; 0 for a file that cannot be opened.
    virtual double GetDuration(const QString& path) = 0;
    // The segments of the next conversion, with end times.
    virtual bool AddAudioSegment(const QString& path, double start, double end) = 0;
    virtual bool AddVideoSegment(const QString& path, double start, double end, short flags) = 0;
    virtual void Reset() = 0;
    // Returns at once. No event of the stopped conversion follows, and a conversion
    // started afterwards begins only once the stopped one has let go of its files.
    virtual void StopConversion() = 0;
    // Stops as StopConversion does, but the file written so far is not wanted: it goes
    // instead of taking its name.
    virtual void DiscardConversion() { StopConversion(); }

    // Why the last conversion failed; empty after a success.
    virtual QString LastError() const = 0;
    // The class of that failure, for the list's short reason.
    virtual FailureKind LastFailureKind() const
    {
        return LastError().isEmpty() ? FailureKind::None : FailureKind::Other;
    }

    // Why the file cannot be converted (no picture nor sound that can be decoded, not a
    // media file at all), in a user's words; empty when it can.
    virtual QString SourceProblem(const QString& path)
    {
        return path.isEmpty() ? QStringLiteral("No source file") : QString();
    }

signals:
    void ConversionComplete();
    void ConversionProgress(double position, double total);
};

// The preview of the media component: it plays segments of a source with their sound,
// or shows one picture of it. Its segments are its own; no conversion sees them. The
// events arrive on the thread that owns the object.
class MediaPreview : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~MediaPreview() override = default;

    // Seconds; 0 for a file that cannot be opened.
    virtual double GetDuration(const QString& path) = 0;
    virtual void SetColorDepth(short bits) = 0;
    // With sound segments the second number is a length; a glimpse without sound
    // passes end times.
    virtual bool AddAudioSegment(const QString& path, double start, double second) = 0;
    virtual bool AddVideoSegment(const QString& path, double start, double second, short flags) = 0;
    virtual void Reset() = 0;
    // The sound track and subtitles the next Play shows, as the converter's; Reset
    // forgets them. A source that lacks the chosen track plays its own choice.
    virtual void SetTrackChoices(int audioTrack, int subtitleTrack, const QString& subtitleFile)
    {
        Q_UNUSED(audioTrack);
        Q_UNUSED(subtitleTrack);
        Q_UNUSED(subtitleFile);
    }
    virtual bool Play() = 0;
    virtual void StopPlay() = 0;

    // The preview's resting picture. ShowStill shows the file's picture at `time` (the
    // last one before it when the file has none there; nothing for a file without
    // pictures) until the next playback or still; it returns at once. ClearPicture
    // leaves the preview empty. Both replace a playback, and a still asked for earlier.
    virtual void ShowStill(const QString& path, double time) = 0;
    virtual void ClearPicture() = 0;

signals:
    void PlayEnded(double unused);
};
