#include "cli/Scanner.h"

#include "cli/DeviceFields.h"
#include "cli/DeviceJob.h"
#include "cli/ParallelRunner.h"
#include "commdll/DeviceConnection.h"
#include "commdll/SerialComm.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <optional>

std::vector<ScanResult> CScanner::Run(const std::vector<std::array<BYTE, 4>>& addresses, int jobs,
                                      int timeoutMs) {
    std::vector<std::optional<ScanResult>> found(addresses.size());
    CParallelRunner::Run(static_cast<int>(addresses.size()), jobs, [&](int index) {
        const auto& address = addresses[static_cast<std::size_t>(index)];
        const QString text = CDeviceFields::DottedAddress(address);
        if (!Reachable(text, timeoutMs))
            return;
        CDeviceJob job(address);
        if (job.ReadOut().Succeeded())
            found[static_cast<std::size_t>(index)] = ScanResult{text, job.Record()};
    });
    std::vector<ScanResult> results;
    for (auto& entry : found) {
        if (entry)
            results.push_back(std::move(*entry));
    }
    return results;
}

bool CScanner::Reachable(const QString& address, int timeoutMs) {
    const QHostAddress destination(address);
    if (destination.isNull() || commdll::CDeviceConnection::RefusedByLoopbackSwitch(destination))
        return false;
    QTcpSocket socket;
    socket.connectToHost(destination, DEVICE_PORT);
    const bool connected = socket.waitForConnected(timeoutMs);
    socket.abort();
    return connected;
}
