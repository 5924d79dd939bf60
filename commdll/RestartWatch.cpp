#include "commdll/RestartWatch.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>

namespace commdll {

namespace {

// More devices than any operator restarts at once; expired entries go first.
constexpr std::size_t MAX_WATCHED = 256;

// One restart: until when it is waited for. A restart that moves the device has two entries
// of the same number.
struct Restart {
    QDeadlineTimer deadline;
    std::uint64_t number = 0;
};

std::atomic<int> g_timeoutMs{CRestartWatch::RESTART_TIMEOUT_MS};

struct Watched {
    std::mutex mutex;
    std::map<QString, Restart> restarts;
    std::uint64_t nextNumber = 0;
};

Watched& Instance() {
    static Watched watched;
    return watched;
}

QString Key(const QString& address, quint16 port) {
    return address + QLatin1Char(':') + QString::number(port);
}

} // namespace

void CRestartWatch::SetTimeoutMs(int ms) {
    g_timeoutMs = ms;
}

void CRestartWatch::Begin(const QString& address, const QString& newAddress, quint16 port) {
    Watched& watched = Instance();
    std::lock_guard lock(watched.mutex);
    std::erase_if(watched.restarts,
                  [](const auto& entry) { return entry.second.deadline.hasExpired(); });
    while (watched.restarts.size() + 2 > MAX_WATCHED)
        watched.restarts.erase(watched.restarts.begin());
    const Restart restart{QDeadlineTimer(g_timeoutMs.load()), watched.nextNumber++};
    watched.restarts[Key(address, port)] = restart;
    if (!newAddress.isEmpty())
        watched.restarts[Key(newAddress, port)] = restart;
}

std::optional<QDeadlineTimer> CRestartWatch::Deadline(const QString& address, quint16 port) {
    Watched& watched = Instance();
    std::lock_guard lock(watched.mutex);
    const auto found = watched.restarts.find(Key(address, port));
    if (found == watched.restarts.end() || found->second.deadline.hasExpired())
        return std::nullopt;
    return found->second.deadline;
}

void CRestartWatch::End(const QString& address, quint16 port) {
    Watched& watched = Instance();
    std::lock_guard lock(watched.mutex);
    const auto found = watched.restarts.find(Key(address, port));
    if (found == watched.restarts.end())
        return;
    const std::uint64_t number = found->second.number;
    std::erase_if(watched.restarts,
                  [number](const auto& entry) { return entry.second.number == number; });
}

} // namespace commdll
