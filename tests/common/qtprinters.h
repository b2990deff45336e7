#pragma once

// Readable Qt values in GoogleTest failure messages.

#include <QString>
#include <QStringList>

#include <ostream>

inline void PrintTo(const QString& value, std::ostream* os)
{
    *os << '"' << value.toStdString() << '"';
}

inline void PrintTo(const QStringList& value, std::ostream* os)
{
    *os << '{';
    for (const QString& s : value)
        *os << '"' << s.toStdString() << "\" ";
    *os << '}';
}
