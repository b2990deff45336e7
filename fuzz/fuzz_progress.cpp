// Any numbers in a Task: the list's texts stay readable, never "nan" or "inf".
#include "engine/commandexpander.h"
#include "engine/progressdisplay.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

template <typename T> T take(const uint8_t*& data, size_t& size)
{
    T value{};
    const size_t n = std::min(sizeof value, size);
    std::memcpy(&value, data, n);
    data += n;
    size -= n;
    return value;
}

bool unreadable(const QString& shown)
{
    const QString text = shown.toLower();
    return text.contains(QLatin1String("nan")) || text.contains(QLatin1String("inf"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Task task = makeTask(QStringLiteral("/v/clip.avi"), 10, 0, 0);
    task.startTime = take<double>(data, size);
    task.endTime = take<double>(data, size);
    task.encodedTime = take<double>(data, size);
    task.encodeSpeed = take<double>(data, size);
    task.prePercent = take<double>(data, size);
    task.preRemainTime = take<double>(data, size);
    task.outputKB = take<int32_t>(data, size);
    task.wmvPercent = take<int32_t>(data, size);
    const uint8_t flags = take<uint8_t>(data, size);
    task.isRealMedia = flags & 1;
    task.preState = (flags >> 1) % 3;
    task.exportType = (flags >> 3) & 1;
    task.finished = (flags >> 4) & 1;
    task.failed = (flags >> 5) & 1;
    const uint32_t now = take<uint32_t>(data, size);
    const uint32_t wmvStart = take<uint32_t>(data, size);
    const TaskProgress progress = taskProgress(task, now, wmvStart);
    for (const QString& text :
         {trimTimeText(task.startTime), trimTimeText(task.endTime), progress.text}) {
        if (unreadable(text))
            std::abort();
        if (text.contains(QLatin1String(":-")))
            std::abort(); // a time that went negative
    }
    if (unreadable(exportCellText(task)))
        std::abort();
    if (progress.bar > 100)
        std::abort();
    progressToolTip(task);
    return 0;
}
