#pragma once

#include <QString>

// The folder of the running program, ending in "/". Set once at start-up (tests set
// their own).
void setProgramFolder(const QString& folder);
QString programFolder();
// programFolder() + "app": where the profile file and the encoder live.
QString appFolder();
// Where the intermediate files of the RealMedia pre-conversion go: this run's own folder
// in the user's cache folder (an installed program folder is not writable), claimed
// with claimRunFolder. Ends in "/"; made when missing.
QString intermediateFolder();
// This process's folder "run-PID/" inside `base`, locked for as long as the process
// lives. The folders of runs that are gone (their lock free) are emptied of their
// files and removed first; those of runs still going are left alone. Ends in "/".
QString claimRunFolder(const QString& base);
