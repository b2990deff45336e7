#pragma once

#include <QString>

// Message-box text centred in a field of 99 characters; 100 characters or more are
// returned as they are.
QString centredMessage(const QString& text);
