#pragma once

#include <QDeadlineTimer>
#include <QString>

#include <optional>

namespace commdll {

// Devices that were told to restart, shared by every link of the process. A device takes
// several seconds to come back; until it does (or the restart time-out has passed since the
// restart request), a connection attempt to its address waits for it instead of failing
// after the ordinary time-out, whichever link asks first.
class CRestartWatch {
public:
    // How long a restarting device may stay away.
    static constexpr int RESTART_TIMEOUT_MS = 20000;
    // Restarts begun from now on are waited for `ms` instead; a test of a device that never
    // comes back need not wait the full time. Takes effect process-wide.
    static void SetTimeoutMs(int ms);

    // The device at `address` was told to restart now; it may come back at `newAddress`
    // instead (empty: at the same address).
    static void Begin(const QString& address, const QString& newAddress, quint16 port);
    // Until when connection attempts to `address` wait for the device; none when no restart
    // is under way there (or its time-out has passed).
    static std::optional<QDeadlineTimer> Deadline(const QString& address, quint16 port);
    // The device has answered at `address`: ordinary time-outs apply again, at the address
    // it restarted from and at the one it was to come back at.
    static void End(const QString& address, quint16 port);
};

} // namespace commdll
