// A property of command expansion and splitting: for every template of the default
// profile file and any Task values (titles, paths, times), the split arguments keep the
// template's argument count, and every value comes back intact in its own argument.
#include "engine/commandexpander.h"
#include "engine/commandsplitter.h"
#include "engine/profilefile.h"

#include <QDateTime>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

QStringList defaultTemplates()
{
    CProfileFile reader;
    reader.SetPath(QStringLiteral(TRELVO_SOURCE_DIR "/encoder/Zune_Profile.ini"));
    QStringList names;
    QStringList templates;
    reader.ReadSectionNames(names);
    for (const QString& name : names) {
        const QString command = reader.ReadString(name, QStringLiteral("Command0"));
        if (!command.isEmpty())
            templates.append(command);
    }
    if (templates.isEmpty())
        std::abort(); // the default profile file went missing: nothing would be tested
    return templates;
}

// Cuts the next NUL-terminated piece off the input.
QString nextText(const uint8_t*& data, size_t& size)
{
    const void* end = std::memchr(data, 0, size);
    const size_t n = end ? size_t(static_cast<const uint8_t*>(end) - data) : size;
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(n));
    data += std::min(size, n + 1);
    size -= std::min(size, n + 1);
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const QStringList templates = defaultTemplates();
    static const QDateTime now(QDate(2026, 1, 2), QTime(3, 4, 5));
    if (size < 18)
        return 0;
    const QString& templ = templates.at(data[0] % templates.size());
    const uint8_t flags = data[1];
    double start = 0, end = 0;
    std::memcpy(&start, data + 2, 8);
    std::memcpy(&end, data + 10, 8);
    data += 18;
    size -= 18;

    Task task = makeTask(QStringLiteral("/v/clip.avi"), 10, 0, 0);
    task.isRealMedia = flags & 1;
    task.mp4Profile = (flags >> 1) & 3;
    task.videoType = (flags >> 3) & 1;
    task.startTime = start;
    task.endTime = end;
    task.title = nextText(data, size);
    task.sourcePath = nextText(data, size);
    task.intermediatePath = nextText(data, size);
    const QString output = nextText(data, size);

    // The same template with plain markers shows where each value must land.
    Task marked = task;
    marked.title = QStringLiteral("@TITLE@");
    marked.sourcePath = marked.intermediatePath = QStringLiteral("@INPUT@");
    const QStringList expected =
        splitCommandLine(expandTemplate(templ, marked, QStringLiteral("@OUTPUT@"), now));
    const QStringList actual = splitCommandLine(expandTemplate(templ, task, output, now));
    if (actual.size() != expected.size())
        std::abort();
    const QString input = task.isRealMedia ? task.intermediatePath : task.sourcePath;
    const std::pair<QLatin1String, QString> values[] = {{QLatin1String("@TITLE@"), task.title},
                                                        {QLatin1String("@INPUT@"), input},
                                                        {QLatin1String("@OUTPUT@"), output}};
    for (qsizetype i = 0; i < expected.size(); ++i) {
        // Put each value where its marker stands, in one pass.
        QString want;
        const QString& pattern = expected.at(i);
        for (qsizetype at = 0; at < pattern.size();) {
            bool replaced = false;
            for (const auto& [marker, value] : values) {
                if (QStringView(pattern).mid(at).startsWith(marker)) {
                    want += value;
                    at += marker.size();
                    replaced = true;
                    break;
                }
            }
            if (!replaced)
                want += pattern.at(at++);
        }
        if (actual.at(i) != want)
            std::abort();
    }
    return 0;
}
