#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Reads a small file that a user may have replaced by anything: only a regular file is
// read, opened without waiting (a FIFO or a device never blocks us) and never past
// `limit` bytes (a link to /dev/zero or a huge file cannot eat the memory). Nothing
// when the file cannot be read so, with the reason in `*error`; a missing file gives
// the reason "missing" and `*missing` set.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 limit, QString* error,
                                          bool* missing = nullptr);
