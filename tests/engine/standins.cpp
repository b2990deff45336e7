#include "engine/standins.h"

#include <QDir>

namespace scripts {
const char* const kGood = R"(#!/bin/bash
out="$1"
for i in 1 2 3 4 5 6 7 8 9 10; do
  printf 'frame=%5d fps= 25 size=%8skB time=%.2f bitrate= 500.0kbits/s\n' $i $((i*10)) $i
  if read -t 0.05 -n 1 c && [ "$c" = q ]; then
    echo data > "$out"; touch "$out.quit"; exit 0
  fi
done
echo data > "$out"
)";
const char* const kFailing = R"(#!/bin/bash
echo "Trelvo encoder"
echo "error: cannot open input /nowhere.avi: No such file or directory" >&2
exit 1
)";
const char* const kNoOutput = R"(#!/bin/bash
echo "frame=    1 fps= 25 size=       0kB time=0.04 bitrate= 0.0kbits/s"
)";
const char* const kStubborn = R"(#!/bin/bash
trap '' TERM
while true; do
  echo "frame=    1 fps= 25 size=       1kB time=1.00 bitrate= 0.0kbits/s"
  sleep 0.1
done
)";
const char* const kCrashing = R"(#!/bin/bash
echo "frame=    1 fps= 25 size=       1kB time=1.00 bitrate= 0.0kbits/s"
kill -SEGV $$
)";
} // namespace scripts

StandInApp::StandInApp()
{
    QDir().mkpath(app());
    QDir().mkpath(out());
    writeProfiles();
}

int StandInApp::addProfile(const QString& name, const QString& body, const QString& arguments)
{
    QFile script(app() + "/" + name);
    script.open(QIODevice::WriteOnly);
    script.write(body.toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    m_commands.append("./" + name + " " + arguments);
    writeProfiles();
    return int(m_commands.size()) - 1;
}

void StandInApp::writeProfiles()
{
    QFile ini(app() + "/Zune_Profile.ini");
    ini.open(QIODevice::WriteOnly);
    ini.write("[Info]\nDefaultProfile=0\n");
    for (int i = 0; i < m_commands.size(); ++i)
        ini.write(
            QString("[profile%1]\nTitle=P%1\nCommand0=%2\n").arg(i).arg(m_commands[i]).toUtf8());
}
