#include "engine/commandsplitter.h"

QStringList splitCommandLine(const QString& commandLine)
{
    QStringList args;
    QString current;
    bool started = false; // a quote opens an argument even when nothing follows
    bool inQuote = false;
    int quoteRun = 0;

    // A run of quotes counts in threes: each three is one literal quote, and one left
    // over opens or closes a quoted stretch (two left over open and close it).
    auto endQuoteRun = [&] {
        if (quoteRun == 1)
            inQuote = !inQuote;
        quoteRun = 0;
    };
    for (const QChar c : commandLine) {
        if (c == u'"') {
            started = true;
            if (++quoteRun == 3) {
                current += c;
                quoteRun = 0;
            }
            continue;
        }
        endQuoteRun();
        if (!inQuote && c.isSpace()) {
            if (started || !current.isEmpty())
                args.append(current);
            current.clear();
            started = false;
        } else {
            current += c;
        }
    }
    if (started || !current.isEmpty())
        args.append(current);
    return args;
}
