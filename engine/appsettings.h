#pragma once

#include <QString>

// The program's stored settings ("Trelvo Converter" in the user's settings folder).

// The output folder chosen last; the user's Videos folder (or home) when none was.
QString storedOutputFolder();
void storeOutputFolder(const QString& folder);
// The version text shown in the caption; empty when none is stored.
QString storedVersion();
// The folder used when nothing is stored.
QString defaultOutputFolder();
