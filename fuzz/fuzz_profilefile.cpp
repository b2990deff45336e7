// Any bytes as the profile file, then every lookup the window and the batch make.
#include "engine/commandexpander.h"
#include "engine/commandsplitter.h"
#include "engine/profilefile.h"

#include <QDateTime>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CProfileFile reader;
    reader.SetContents(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const Mp4ProfileChoice choice = mp4ProfileChoice(reader);
    if (choice.selectIndex >= choice.items.size() || (!choice.filled && !choice.items.isEmpty()))
        std::abort();
    QStringList names;
    const int count = reader.ReadSectionNames(names);
    if (count != names.size() || count < 1)
        std::abort();
    const Task task = makeTask(QStringLiteral("/v/clip.avi"), 10, 0, 0);
    const QDateTime now(QDate(2026, 1, 2), QTime(3, 4, 5));
    for (int i = 0; i < count && i < 32; ++i) {
        const QString command = reader.ReadString(names.at(i), QStringLiteral("Command0"));
        if (command.size() > CProfileFile::kMaxValueLength ||
            reader.ReadString(names.at(i), QStringLiteral("Title")).size() >
                CProfileFile::kMaxValueLength)
            std::abort();
        splitCommandLine(expandTemplate(command, task, QStringLiteral("/o/clip.mp4"), now));
    }
    return 0;
}
