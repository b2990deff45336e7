#pragma once

// A stand-in for the media component, both halves, for the engine's and the window's
// tests. Every call either half gets is written to one log, in the order of the calls.
// The converter makes its output at once and never replaces a file, as the real one
// does; when told to, it completes a while later with a small file, else it runs until
// it is stopped. The preview plays nothing: a test emits PlayEnded itself.

#include "engine/mediacomponent.h"

#include <QHash>
#include <QStringList>
#include <functional>

class FakeMedia;

class FakeConverter : public MediaConverter
{
public:
    explicit FakeConverter(FakeMedia& media) : m(media) {}

    MediaCollection WmvProfiles() const override;
    void SetWmvProfileIndex(short index) override;
    void SetVideoCompressorIndex(short index) override;
    MediaCollection VideoCompressors() const override;
    void SetUseVideoCompressor(bool use) override;
    void SetAudioCompressorIndex(short index) override;
    MediaCollection AudioCompressors() const override;
    void SetUseAudioCompressor(bool use) override;
    void SetOutputHeight(short pixels) override;
    void SetOutputWidth(short pixels) override;
    void SetColorDepth(short bits) override;
    void SetOutputFormat(int format) override;
    void SetFrameRate(double fps) override;
    void SetTitle(const QString& title) override;
    void SetTrackChoices(int audioTrack, int subtitleTrack, const QString& subtitleFile) override;
    bool ConvertToFile(const QString& path) override;
    double GetDuration(const QString& path) override;
    bool AddAudioSegment(const QString& path, double start, double end) override;
    bool AddVideoSegment(const QString& path, double start, double end, short flags) override;
    void Reset() override;
    void StopConversion() override;
    QString LastError() const override;
    FailureKind LastFailureKind() const override;
    QString SourceProblem(const QString& path) override;
    // Ends the conversion under way now, as if it had run to its end.
    void finishNow()
    {
        if (!m_running.isEmpty())
            complete(m_running, QString());
    }

private:
    void complete(const QString& path, const QString& error);
    void cancelRunning();
    FakeMedia& m;
    int m_generation = 0;
    QString m_running; // the output of the conversion under way
};

class FakePreview : public MediaPreview
{
public:
    explicit FakePreview(FakeMedia& media) : m(media) {}

    double GetDuration(const QString& path) override;
    void SetColorDepth(short bits) override;
    bool AddAudioSegment(const QString& path, double start, double second) override;
    bool AddVideoSegment(const QString& path, double start, double second, short flags) override;
    void Reset() override;
    void SetTrackChoices(int audioTrack, int subtitleTrack, const QString& subtitleFile) override;
    bool Play() override;
    void StopPlay() override;
    void ShowStill(const QString& path, double time) override;
    void ClearPicture() override;

private:
    FakeMedia& m;
};

class FakeMedia
{
public:
    FakeMedia() = default;
    FakeMedia(const FakeMedia&) = delete;
    FakeMedia& operator=(const FakeMedia&) = delete;

    // What it offers.
    QStringList wmvDescriptions{"Zune WMV 320x240", "Zune WMV 640x480", "Zune WMV audio"};
    QStringList videoCompressors;
    QStringList audioCompressors;
    QHash<QString, double> durations; // by path; missing paths last `defaultDuration`
    double defaultDuration = 60.0;
    std::function<QString(const QString& path)> sourceProblem; // none: every file converts

    // How its conversions go.
    int completeAfterMs = -1; // -1: a conversion runs until it is stopped
    bool refuseStart = false; // with `refusal` as the reason
    QString refusal = "cannot open the source";
    bool nameTakenOnce = false; // another run creates the next output just before us
    QString errorAtEnd;
    int errorOnCall = -1;   // only that conversion (counted from 0) ends with errorAtEnd
    double convertedTo = 3; // the last report of a conversion that ends well, of 3 s
    FailureKind errorKind = FailureKind::Other; // of every error it reports
    QString lastError;                          // what the converter's LastError answers

    // What it was asked, one line a call: "Reset", "ColorDepth 24", "Video <path> 1 4",
    // "ConvertToFile <path>", "Play", ...
    QStringList log;
    int calls = 0;     // conversions asked for
    int converted = 0; // conversions completed with a file
    int stopCalls = 0;
    int durationCalls = 0;
    QString lastOutput;
    QStringList titles; // one per SetTitle

    // The log lines that start with `prefix`.
    QStringList entries(const QString& prefix) const;

    FakeConverter converter{*this};
    FakePreview preview{*this};
};
