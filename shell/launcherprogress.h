#pragma once

#include <QDBusConnection>
#include <QObject>

#include <optional>

class BatchDriver;

// Shows how far the batch has come on the program's entry in the desktop's task bar or
// dock, through the launcher entry signal that KDE Plasma's task manager and the GNOME
// and Ubuntu docks follow (com.canonical.Unity.LauncherEntry.Update): a bar while the
// batch runs, taken away when it ends. Where no session bus runs, nothing happens.
class LauncherProgress : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kObjectPath = "/com/trelvo/converter/LauncherEntry";
    static constexpr const char* kAppUri = "application://trelvo-converter.desktop";

    explicit LauncherProgress(const BatchDriver& driver, QObject* parent = nullptr);
    // Unset: the session bus, connected when first needed.
    void setBus(const QDBusConnection& bus) { m_bus = bus; }

private:
    void update(bool always);
    void send(double progress, bool visible);

    const BatchDriver& m_driver;
    std::optional<QDBusConnection> m_bus;
    double m_sent = -1.0; // the last progress sent while the batch runs
};
