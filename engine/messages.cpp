#include "engine/messages.h"

QString centredMessage(const QString& text)
{
    const qsizetype length = text.size();
    if (length >= 100)
        return text;
    const qsizetype lead = (100 - length) / 2;
    QString out(lead, u' ');
    out += text;
    return out.leftJustified(99, u' ');
}
