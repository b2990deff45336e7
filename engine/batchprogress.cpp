#include "engine/batchprogress.h"

#include <QCoreApplication>

#include <algorithm>
#include <cmath>

namespace {

double spanOf(const Task& task)
{
    const double span = task.endTime - task.startTime;
    return std::isfinite(span) ? std::max(0.0, span) : 0.0;
}

QString tr(const char* text, int n = -1)
{
    return QCoreApplication::translate("BatchProgress", text, nullptr, n);
}

QString remainText(long long seconds)
{
    if (seconds < 60)
        return tr("less than a minute left");
    const long long minutes = (seconds + 30) / 60;
    if (minutes < 60)
        return tr("about %1 min left").arg(minutes);
    if (minutes % 60 == 0)
        return tr("about %1 h left").arg(minutes / 60);
    return tr("about %1 h %2 min left").arg(minutes / 60).arg(minutes % 60);
}

} // namespace

BatchProgress batchProgress(const TaskList& tasks, const std::function<bool(int)>& inBatch,
                            const std::function<TaskState(int)>& stateOf, uint32_t now,
                            uint32_t wmvStartTick)
{
    BatchProgress progress;
    double span = 0.0;
    double done = 0.0;
    double left = 0.0;  // seconds of media still to convert
    double speed = 0.0; // seconds of media converted per second, of all running Tasks
    int ended = 0;
    for (int i = 0; i < tasks.size(); ++i) {
        if (!inBatch(i))
            continue;
        ++progress.total;
        const Task task = tasks.get(i);
        const double own = spanOf(task);
        double part = 0.0;
        switch (stateOf(i)) {
        case TaskState::Finished:
            ++progress.converted;
            part = 1.0;
            break;
        case TaskState::Failed:
            ++progress.failed;
            part = 1.0;
            break;
        case TaskState::Stopped:
            part = 1.0;
            break;
        case TaskState::Converting:
        case TaskState::PreConverting: {
            const TaskAdvance advance = taskAdvance(task, now, wmvStartTick);
            part = std::clamp(advance.percent / 100.0, 0.0, 1.0);
            const double ownLeft = own * (1.0 - part);
            if (advance.remainSeconds > 0 && ownLeft > 0.0)
                speed += ownLeft / double(advance.remainSeconds);
            break;
        }
        case TaskState::New:
        case TaskState::Waiting:
            break;
        }
        ended += part >= 1.0 ? 1 : 0;
        span += own;
        done += own * part;
        left += own * (1.0 - part);
    }
    if (progress.total == 0)
        return progress;
    // Tasks of no known length count alike.
    progress.percent = span > 0.0 ? done * 100.0 / span : ended * 100.0 / progress.total;
    if (left <= 0.0)
        progress.remainSeconds = span > 0.0 || ended == progress.total ? 0 : -1;
    else if (speed > 0.0)
        progress.remainSeconds = std::llround(std::min(left / speed, 36'000'000.0));
    return progress;
}

QString batchProgressText(const BatchProgress& progress)
{
    if (progress.total == 0)
        return {};
    const QString dot = QStringLiteral(" \u00b7 ");
    QString text = tr("%1 of %2 converted").arg(progress.converted).arg(progress.total);
    if (progress.failed > 0) {
        text += dot;
        text += tr("%n failed", progress.failed);
    }
    text += dot;
    text += QStringLiteral("%1 %").arg(int(std::floor(progress.percent)));
    if (progress.remainSeconds >= 0 && progress.percent < 100.0) {
        text += dot;
        text += remainText(progress.remainSeconds);
    }
    return text;
}
