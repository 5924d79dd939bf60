#pragma once

#include "platform/WinTypes.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace testsupport {

struct RawClient;

// A device that answers every request (of every connection, in turn) with scripted bytes, right or
// wrong, for the cases the simulator never produces (foreign frames, absurd lengths, cut headers).
// Runs in its own thread on one loopback address, port 49999.
class RawDevice {
public:
    // Builds the bytes to send from the request's sequence number and message code.
    using Script = std::function<QByteArray(std::uint32_t sequence, BYTE code)>;
    enum class AfterReply { Close, KeepOpen };

    RawDevice(QString address, Script script, AfterReply after);
    ~RawDevice();
    RawDevice(const RawDevice&) = delete;
    RawDevice& operator=(const RawDevice&) = delete;

    bool Start(); // true once listening
    int Connections() const { return m_connections; }

private:
    void Run();
    bool Serve(RawClient& client);

    QString m_address;
    Script m_script;
    AfterReply m_after;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_connections{0};
    std::mutex m_mutex;
    std::condition_variable m_started;
    bool m_startDone = false;
    bool m_listening = false;
    std::unique_ptr<QThread> m_thread;
};

} // namespace testsupport
