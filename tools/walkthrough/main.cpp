// The program's window driven by a script (see walkthrough.h), for the walk-through
// scripts under a virtual display. Not part of the installed program.
#include "engine/batchhost.h"
#include "shell/gui.h"
#include "tools/walkthrough/walkthrough.h"

#include <QString>
#include <QTimer>

#include <cstdio>

namespace {

// A walk-through must never power the machine it runs on off: this one says so and
// refuses, as a system without the permission would.
class PretendPower : public PowerControl
{
public:
    void powerOff(Done done) override
    {
        std::puts("[power] the computer would be powered off now; refused instead");
        std::fflush(stdout);
        QTimer::singleShot(0, [done = std::move(done)] { done(Outcome::Refused); });
    }
    // As logind says it when this user may not power the machine off.
    QString refusalReason() const override
    {
        return QStringLiteral("the system does not allow this user to power the computer off.");
    }
};

} // namespace

int main(int argc, char** argv)
{
    const QString script = qEnvironmentVariable("TRELVO_WALKTHROUGH");
    if (script.isEmpty()) {
        std::fputs("trelvo-walkthrough: set TRELVO_WALKTHROUGH to a script file\n", stderr);
        return 2;
    }
    PretendPower power;
    return runGui(
        argc, argv, [&](CHostDlg& host) { new Walkthrough(host, script); }, &power);
}
