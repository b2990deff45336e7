#include "engine/textcut.h"

#include <QTextBoundaryFinder>

QString cutText(const QString& text, int limit)
{
    if (text.size() <= limit)
        return text;
    if (limit <= 0)
        return {};
    QTextBoundaryFinder graphemes(QTextBoundaryFinder::Grapheme, text);
    graphemes.setPosition(limit);
    qsizetype length = graphemes.isAtBoundary() ? limit : graphemes.toPreviousBoundary();
    // Without a boundary before the limit (one cluster longer than it), no half of a
    // character is kept either.
    if (length <= 0) {
        length = limit;
        if (text.at(length - 1).isHighSurrogate())
            --length;
    }
    return text.left(length);
}
