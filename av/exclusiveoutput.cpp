#include "av/exclusiveoutput.h"

#include "encoder/protocol/workingfile.h"

extern "C" {
#include <libavformat/version.h>
#include <libavutil/mem.h>
}

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace trelvo {

namespace {

constexpr int kBufferSize = 64 * 1024;

// The write callback lost its non-const buffer in libavformat 61.
#if LIBAVFORMAT_VERSION_MAJOR >= 61
using WriteBuffer = const uint8_t*;
#else
using WriteBuffer = uint8_t*;
#endif

} // namespace

int64_t monotonicNanos()
{
    timespec now = {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// The state of one AVIOContext: pread/pwrite at its own position, never the
// descriptor's shared offset.
struct ExclusiveOutput::Cursor
{
    ExclusiveOutput* owner;
    int64_t position = 0;

    static int read(void* opaque, uint8_t* buffer, int size)
    {
        auto* self = static_cast<Cursor*>(opaque);
        for (;;) {
            const ssize_t n = ::pread(self->owner->m_fd, buffer, size_t(size), self->position);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return AVERROR(errno);
            if (n == 0)
                return AVERROR_EOF;
            self->position += n;
            return int(n);
        }
    }

    static int write(void* opaque, WriteBuffer buffer, int size)
    {
        auto* self = static_cast<Cursor*>(opaque);
        int done = 0;
        while (done < size) {
            const ssize_t n =
                ::pwrite(self->owner->m_fd, buffer + done, size_t(size - done), self->position);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                return AVERROR(errno);
            if (n == 0)
                return AVERROR(EIO);
            done += int(n);
            self->position += n;
            if (self->owner->m_progress)
                self->owner->m_progress->store(monotonicNanos(), std::memory_order_relaxed);
        }
        return done;
    }

    static int64_t seek(void* opaque, int64_t offset, int whence)
    {
        auto* self = static_cast<Cursor*>(opaque);
        whence &= ~AVSEEK_FORCE;
        if (whence == AVSEEK_SIZE) {
            const int64_t size = self->owner->size();
            return size < 0 ? AVERROR(errno) : size;
        }
        int64_t base = 0;
        if (whence == SEEK_CUR)
            base = self->position;
        else if (whence == SEEK_END)
            base = self->owner->size();
        else if (whence != SEEK_SET)
            return AVERROR(EINVAL);
        if (base < 0)
            return AVERROR(errno);
        if (offset < -base || (offset > 0 && base > INT64_MAX - offset))
            return AVERROR(EINVAL);
        self->position = base + offset;
        return self->position;
    }
};

void AvioDeleter::operator()(AVIOContext* ctx) const
{
    if (!ctx)
        return;
    if (ctx->write_flag)
        avio_flush(ctx);
    delete static_cast<ExclusiveOutput::Cursor*>(ctx->opaque);
    av_freep(&ctx->buffer);
    avio_context_free(&ctx);
}

namespace {

std::pair<std::string, std::string> splitPath(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

} // namespace

std::unique_ptr<ExclusiveOutput> ExclusiveOutput::create(const std::string& path, int* error)
{
    auto fail = [error](int why) {
        if (error)
            *error = why;
        return nullptr;
    };
    const auto [folder, finalName] = splitPath(path);
    // lstat: a link, even one leading nowhere, takes the name too.
    struct stat info = {};
    if (::lstat(path.c_str(), &info) == 0 || workingfile::writtenElsewhere(folder, finalName))
        return fail(EEXIST);
    const std::string working = folder + "/" + workingfile::name(finalName, long(::getpid()));
    // Read access too: the MP4 muxer reads its file back to move the index to the front.
    const int flags = O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW;
    int fd = ::open(working.c_str(), flags, 0644);
    if (fd < 0 && errno == EEXIST) {
        // Left by a killed run whose process id we now have, unless we write it ourselves.
        if (workingfile::removeIfAbandoned(AT_FDCWD, working.c_str()))
            fd = ::open(working.c_str(), flags, 0644);
        else
            errno = EEXIST;
    }
    if (fd < 0)
        return fail(errno);
    // Held until the descriptor closes, by us or by our death: a working file nobody
    // holds is a leftover.
    ::flock(fd, LOCK_EX | LOCK_NB);
    ::fstat(fd, &info);
    return std::unique_ptr<ExclusiveOutput>(
        new ExclusiveOutput(path, working, fd, info.st_dev, info.st_ino));
}

ExclusiveOutput::ExclusiveOutput(std::string path, std::string workingPath, int fd, dev_t device,
                                 ino_t inode)
    : m_path(std::move(path)), m_workingPath(std::move(workingPath)), m_fd(fd), m_device(device),
      m_inode(inode)
{
}

ExclusiveOutput::~ExclusiveOutput()
{
    m_writer.reset();
    if (!m_keep)
        removeIfOurs();
    ::close(m_fd);
}

AvioPtr ExclusiveOutput::openContext(int flags)
{
    const bool writing = flags & AVIO_FLAG_WRITE;
    if (!writing && !(flags & AVIO_FLAG_READ))
        return {};
    auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferSize));
    if (!buffer)
        return {};
    auto* cursor = new Cursor{this};
    AVIOContext* ctx = avio_alloc_context(buffer, kBufferSize, writing ? 1 : 0, cursor,
                                          writing ? nullptr : &Cursor::read,
                                          writing ? &Cursor::write : nullptr, &Cursor::seek);
    if (!ctx) {
        delete cursor;
        av_free(buffer);
        return {};
    }
    return AvioPtr(ctx);
}

int ExclusiveOutput::attach(AVFormatContext* ctx)
{
    if (!m_writer)
        m_writer = openContext(AVIO_FLAG_WRITE);
    char* url = av_strdup(m_path.c_str());
    if (!m_writer || !url) {
        av_free(url);
        return AVERROR(ENOMEM);
    }
    av_free(ctx->url);
    ctx->url = url;
    ctx->pb = m_writer.get();
    ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    ctx->opaque = this;
    ctx->io_open = &ExclusiveOutput::ioOpen;
    // libavformat 59 calls io_close2 as long as io_close is left at its default.
    ctx->io_close2 = &ExclusiveOutput::ioClose;
    return 0;
}

// Nested muxers get a different format context with the same opaque.
int ExclusiveOutput::ioOpen(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                            AVDictionary**)
{
    auto* self = static_cast<ExclusiveOutput*>(s->opaque);
    if (!self || !url || self->m_path != url)
        return AVERROR(EPERM);
    AvioPtr ctx = self->openContext(flags);
    if (!ctx)
        return AVERROR(ENOMEM);
    *pb = ctx.release();
    return 0;
}

int ExclusiveOutput::ioClose(AVFormatContext* s, AVIOContext* pb)
{
    if (!pb)
        return 0;
    auto* self = static_cast<ExclusiveOutput*>(s->opaque);
    if (pb->write_flag)
        avio_flush(pb);
    const int error = pb->error;
    // Our own writer belongs to us, not to whoever closes it.
    if (!self || pb != self->m_writer.get())
        AvioDeleter()(pb);
    return error;
}

int ExclusiveOutput::flush()
{
    if (!m_writer)
        return 0;
    avio_flush(m_writer.get());
    return m_writer->error;
}

int64_t ExclusiveOutput::size() const
{
    struct stat info = {};
    if (::fstat(m_fd, &info) != 0)
        return -1;
    return info.st_size;
}

bool ExclusiveOutput::stillOurs(const std::string& name) const
{
    // lstat: a link at the name is not our file even when it leads to it.
    struct stat info = {};
    return ::lstat(name.c_str(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode;
}

bool ExclusiveOutput::keep(int* error)
{
    auto fail = [error](int why) {
        if (error)
            *error = why;
        return false;
    };
    if (m_keep)
        return true;
    if (!stillOurs(m_workingPath))
        return fail(ENOENT);
    // Never over another file: where the file system cannot rename so, a second link
    // under the final name, which fails if the name is taken, then the working one goes.
    if (::renameat2(AT_FDCWD, m_workingPath.c_str(), AT_FDCWD, m_path.c_str(), RENAME_NOREPLACE) !=
        0) {
        if (errno != EINVAL && errno != ENOSYS)
            return fail(errno);
        if (::link(m_workingPath.c_str(), m_path.c_str()) != 0)
            return fail(errno);
        ::unlink(m_workingPath.c_str());
    }
    m_keep = true;
    return true;
}

bool ExclusiveOutput::removeIfOurs()
{
    // Between this look and the unlink the name could change hands again; no call
    // removes a name only if it still has a given inode, so this is as close as it gets.
    if (m_keep || !stillOurs(m_workingPath))
        return false;
    return ::unlink(m_workingPath.c_str()) == 0;
}

} // namespace trelvo

namespace av {

std::string outputTakenText(const std::string& path)
{
    return "the file " + path + " already exists; it is not replaced";
}

std::unique_ptr<trelvo::ExclusiveOutput> createOutput(const std::string& path, Status* status)
{
    int error = 0;
    std::unique_ptr<trelvo::ExclusiveOutput> file = trelvo::ExclusiveOutput::create(path, &error);
    if (!file && status)
        *status = error == EEXIST
                      ? Status::failureWithCode(outputTakenText(path), AVERROR(EEXIST))
                      : Status::failureWithCode(
                            "cannot create " + path + ": " + std::strerror(error), AVERROR(error));
    return file;
}

} // namespace av
