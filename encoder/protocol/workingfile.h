#pragma once

#include <cctype>
#include <string>

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

} // namespace workingfile
