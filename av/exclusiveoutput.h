#pragma once

#include "av/status.h"

extern "C" {
#include <libavformat/avformat.h>
}

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <sys/types.h>

namespace trelvo {

// CLOCK_MONOTONIC in nanoseconds; safe to read in a signal handler.
int64_t monotonicNanos();

// Frees an AVIOContext made by ExclusiveOutput, after writing out what it buffers.
struct AvioDeleter
{
    void operator()(AVIOContext* ctx) const;
};
using AvioPtr = std::unique_ptr<AVIOContext, AvioDeleter>;

// An output file that this process creates and then only ever reaches through the
// descriptor that created it. Opening the file again by its name would follow whatever
// someone put at that name in the meantime (a link to another user's file, in a shared
// folder): the muxer gets contexts over our descriptor instead, and the name is used
// once more only to remove our own file, and only while it still leads to it.
//
// The file is written under its working name (workingfile.h), locked for as long as we
// hold it, and takes its final name only when kept: a run that is killed never leaves a
// half file under a finished name.
class ExclusiveOutput
{
public:
    // Creates the working file for `path`; never opens what is already there, a link
    // included. Null when it cannot, with errno's reason in `*error` (EEXIST when the
    // name is taken, or another process writes a file of that name there now).
    static std::unique_ptr<ExclusiveOutput> create(const std::string& path, int* error);

    // Removes the working file unless keep() gave it its final name (see removeIfOurs).
    ~ExclusiveOutput();
    ExclusiveOutput(const ExclusiveOutput&) = delete;
    ExclusiveOutput& operator=(const ExclusiveOutput&) = delete;

    // The final name, which the muxer is told.
    const std::string& path() const { return m_path; }
    const std::string& workingPath() const { return m_workingPath; }
    int fd() const { return m_fd; }

    // A context over the file with a position of its own, so that a reader and a writer
    // never move each other. AVIO_FLAG_READ or AVIO_FLAG_WRITE; must go before this object.
    AvioPtr openContext(int flags);

    // Makes `ctx` write into this file: its pb becomes our writer (flagged as the caller's
    // own, so no generic close touches it), its url our path, and its io_open hands out
    // contexts over our descriptor for that url and refuses every other one. `ctx` must
    // not be used for writing after this object is gone. 0 or an AVERROR.
    int attach(AVFormatContext* ctx);

    // Writes out what the attached writer buffers; 0, or the first error the file gave.
    int flush();
    // The file's size now, or -1.
    int64_t size() const;

    // Gets the monotonic time of every write that reached the file; set before writing.
    void setProgressStamp(std::atomic<int64_t>* stamp) { m_progress = stamp; }

    // The file is finished and stays: it takes its final name, never over another file.
    // False when it cannot, with errno's reason in `*error` (EEXIST when someone took the
    // name meanwhile); the working file then goes with this object.
    bool keep(int* error = nullptr);
    bool kept() const { return m_keep; }
    // Unlinks the working name when it still names our file; anything else found there
    // (another file, a link) is left alone and the answer is false.
    bool removeIfOurs();

private:
    friend struct AvioDeleter;
    struct Cursor;
    ExclusiveOutput(std::string path, std::string workingPath, int fd, dev_t device, ino_t inode);
    bool stillOurs(const std::string& name) const;
    static int ioOpen(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                      AVDictionary** options);
    static int ioClose(AVFormatContext* s, AVIOContext* pb);

    std::string m_path;
    std::string m_workingPath;
    int m_fd = -1;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    AvioPtr m_writer;
    std::atomic<int64_t>* m_progress = nullptr;
    bool m_keep = false;
};

} // namespace trelvo

namespace av {

// Creates `path` as an exclusive output. Null when it cannot, with the reason in
// `*status`: "the file PATH already exists; it is not replaced" (code AVERROR(EEXIST))
// or "cannot create PATH: why".
std::unique_ptr<trelvo::ExclusiveOutput> createOutput(const std::string& path, Status* status);
// The reason createOutput gives for a name that is taken.
std::string outputTakenText(const std::string& path);

} // namespace av
