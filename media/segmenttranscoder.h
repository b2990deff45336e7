#pragma once

#include "engine/task.h"
#include "media/conversionjob.h"

#include <QElapsedTimer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

struct AVFrame;
namespace av {
class Piece;
class Source;
} // namespace av
namespace trelvo {
class ExclusiveOutput;
}

namespace media {

// Converts the segment set of a job into one output file. Runs on a worker thread;
// reports progress through a callback and looks at the cancel flag between packets.
class Transcoder
{
public:
    enum class Result
    {
        Done,
        Failed,
        Cancelled
    };
    using Progress = std::function<void(double position, double total)>;

    Transcoder(const ConversionJob& job, const std::atomic<bool>& cancel, Progress progress);
    // Removes an output that run() did not finish, or that it never got to.
    ~Transcoder();
    Result run();
    // Why the conversion failed; empty otherwise.
    QString error() const { return m_error; }
    FailureKind failureKind() const { return m_failureKind; }

private:
    struct Output;
    Result fail(const QString& why, FailureKind kind = FailureKind::EncoderStopped);
    bool failWith(const QString& why, FailureKind kind = FailureKind::EncoderStopped);
    bool openOutput(bool withVideo, bool withAudio, int sourceWidth, int sourceHeight);
    bool openMuxer();
    bool openEncoder(int kind, const QString& name, int sourceWidth, int sourceHeight);
    bool convertPiece(size_t piece, double pieceStart);
    // Sets where the piece's output starts and the shape its sources decode to.
    bool preparePiece(av::Piece& piece, double pieceStart);
    bool encode(int kind, AVFrame* frame);
    bool finishFile();
    void reportProgress(double position, bool force);

    const ConversionJob& m_job;
    const std::atomic<bool>& m_cancel;
    Progress m_progress;
    std::shared_ptr<trelvo::ExclusiveOutput> m_file; // outlives m_out, which writes into it
    std::unique_ptr<Output> m_out;
    std::vector<std::unique_ptr<av::Piece>> m_pieces;
    QString m_error;
    FailureKind m_failureKind = FailureKind::None;
    double m_total = 0.0;
    double m_reported = 0.0;
    double m_converted = 0.0; // seconds of output written so far
    QElapsedTimer m_sinceReport;
};

// FFmpeg's words, or av's, as a sentence of ours.
QString sentence(const std::string& text);
// Why the picture or the sound of `source` cannot be converted.
QString cannotConvert(const av::Source& source, bool picture, const std::string& why);

} // namespace media
