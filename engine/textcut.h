#pragma once

#include <QString>

// At most `limit` units of `text` (QString's counting), cut where one character ends and
// the next begins as the user sees them: never half of a surrogate pair, never a letter
// without the accents that follow it, never half of a combined emoji.
// One cluster longer than the limit is cut at the limit, yet never inside a surrogate pair.
QString cutText(const QString& text, int limit);
