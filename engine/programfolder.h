#pragma once

#include <QString>

// The folder of the running program, ending in "/". Set once at start-up (tests set
// their own).
void setProgramFolder(const QString& folder);
QString programFolder();
// programFolder() + "app": where the profile file and the encoder live.
QString appFolder();
// Where the intermediate files of the RealMedia pre-conversion go: the user's cache
// folder, since an installed program folder is not writable. Ends in "/"; made when
// missing.
QString intermediateFolder();
