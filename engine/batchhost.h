#pragma once

#include <QString>

#include <functional>

// What the batch driver needs from the window (or the command line) that runs it.
class BatchHost
{
public:
    enum class MessageIcon
    {
        None,
        Warning,
        Stop
    };

    virtual ~BatchHost() = default;
    // Shows the stop button in place of the start button while converting, and back.
    virtual void showConverting(bool converting) = 0;
    virtual bool shutdownWhenFinished() const = 0;
    virtual void showMessage(const QString& text, const QString& caption, MessageIcon icon) = 0;
};

// Powers the machine off; replaced in tests so that no test can power a machine off.
// Asking returns at once: the system's answer (or the user's, where the request is
// confirmed first) comes later, and the window stays usable meanwhile.
class PowerControl
{
public:
    enum class Outcome
    {
        PoweringOff, // the system accepted: the machine goes down
        Cancelled,   // the user called it off
        Refused      // the system cannot or will not power off
    };
    using Done = std::function<void(Outcome)>;

    virtual ~PowerControl() = default;
    // `done` is called once with the outcome, possibly before this returns, or never
    // when the program ends first.
    virtual void powerOff(Done done) = 0;
    // Why the last request was refused, in the user's words; empty when the system gave
    // no reason.
    virtual QString refusalReason() const { return QString(); }
};
