#include "textcut.h"

#include <QTextBoundaryFinder>

QString cutAtCharacter(const QString& text, qsizetype limit)
{
    if (text.size() <= limit)
        return text;
    if (limit <= 0)
        return QString();
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, text);
    characters.setPosition(limit);
    if (!characters.isAtBoundary())
        characters.toPreviousBoundary();
    return text.left(std::max<qsizetype>(characters.position(), 0));
}
