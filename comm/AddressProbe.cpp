#include "comm/AddressProbe.h"

#include "commdll/DeviceConnection.h"
#include "commdll/SerialComm.h"

#include <QHostAddress>
#include <QTcpSocket>

bool CAddressProbe::Accepts(const Ipv4Address& address, int timeoutMs) {
    const QHostAddress destination(address.ToNumber());
    if (commdll::CDeviceConnection::RefusedByLoopbackSwitch(destination))
        return false;
    QTcpSocket socket;
    socket.connectToHost(destination, DEVICE_PORT);
    const bool connected = socket.waitForConnected(timeoutMs);
    socket.abort();
    return connected;
}
