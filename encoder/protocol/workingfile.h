#pragma once

#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

// While an output is written it has a name of its own in the same folder: hidden, and
// saying which process writes it, ".NAME.PID.part". It takes its final name only once
// it is whole, so that no file under a finished name is ever half written; what a killed
// run leaves is recognisable by this name, and is not locked by any writer. Plain C++,
// shared by the encoder, the media component and the engine that watches and tidies.
namespace workingfile {

inline constexpr char kSuffix[] = ".part";
// Room kept for the dots, the process id and the suffix within a 255-byte name.
inline constexpr std::size_t kNameRoom = 255 - 1 - 1 - 20 - (sizeof kSuffix - 1);

// `finalName` cut to kNameRoom bytes without splitting a UTF-8 character.
inline std::string cutName(const std::string& finalName)
{
    if (finalName.size() <= kNameRoom)
        return finalName;
    std::size_t end = kNameRoom;
    while (end > 0 && (static_cast<unsigned char>(finalName[end]) & 0xC0) == 0x80)
        --end;
    return finalName.substr(0, end);
}

inline std::string name(const std::string& finalName, long pid)
{
    // Appended piece by piece: GCC 12 at -O3 warns falsely on "." + std::string&&.
    std::string working = ".";
    working += cutName(finalName);
    working += '.';
    working += std::to_string(pid);
    working += kSuffix;
    return working;
}

// True when `entry` is a working name: ".SOMETHING.DIGITS.part". With `finalName`, only
// one for that final name.
inline bool isWorkingName(const std::string& entry, const std::string* finalName = nullptr)
{
    const std::string suffix = kSuffix;
    if (entry.size() < 1 + 1 + 1 + suffix.size() + 1 || entry.front() != '.' ||
        entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) != 0)
        return false;
    const std::size_t digitsEnd = entry.size() - suffix.size();
    std::size_t digits = digitsEnd;
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(entry[digits - 1])))
        --digits;
    if (digits == digitsEnd || digits < 3 || entry[digits - 1] != '.')
        return false;
    if (!finalName)
        return true;
    const std::string cut = cutName(*finalName);
    return digits - 2 == cut.size() && entry.compare(1, cut.size(), cut) == 0;
}

// True when a process holds the lock of the working file `name` in the folder `dir`
// (a descriptor, or AT_FDCWD with a path): its writer holds it while it runs.
inline bool beingWritten(int dir, const char* name)
{
    const int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool held = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

// Removes the working file `name` in `dir` when it is a regular file of this user's
// that no writer holds: what a killed run left. True when it went.
inline bool removeIfAbandoned(int dir, const char* name)
{
    const int fd = ::openat(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat info = {};
    const bool removed = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                         info.st_uid == ::getuid() && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
                         ::unlinkat(dir, name, 0) == 0;
    ::close(fd);
    return removed;
}

// Calls `visit(dir, name)` for each working file in `folder` (of `finalName` only, when
// given) until it returns true; true when one did.
template <typename Visit>
bool anyWorkingFile(const std::string& folder, const std::string* finalName, Visit visit)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* entry = found ? nullptr : ::readdir(dir)) {
        if (isWorkingName(entry->d_name, finalName))
            found = visit(::dirfd(dir), entry->d_name);
    }
    ::closedir(dir);
    return found;
}

// Another process writes a file of this final name into `folder` now.
inline bool writtenElsewhere(const std::string& folder, const std::string& finalName)
{
    return anyWorkingFile(folder, &finalName, beingWritten);
}

// Removes what killed runs left in `folder`; returns how many went.
inline int removeAbandoned(const std::string& folder)
{
    int removed = 0;
    anyWorkingFile(folder, nullptr, [&removed](int dir, const char* name) {
        removed += removeIfAbandoned(dir, name);
        return false;
    });
    return removed;
}

} // namespace workingfile
