#pragma once

#include "comm/DeviceData.h"

#include <QString>

#include <array>
#include <functional>
#include <optional>

class CCommInterface;

// What a settings change writes: the parts given here, the rest as the device reported them
// at the last read-out.
struct SettingsChange {
    std::optional<std::array<BYTE, 4>> ip;
    std::optional<std::array<BYTE, 4>> subnetMask;
    std::optional<std::array<BYTE, 4>> gateway;
    std::optional<int> protocol;
    std::optional<bool> modeDM7;

    static SettingsChange Network(const std::array<BYTE, 4>& ip,
                                  const std::array<BYTE, 4>& subnetMask,
                                  const std::array<BYTE, 4>& gateway) {
        SettingsChange change;
        change.ip = ip;
        change.subnetMask = subnetMask;
        change.gateway = gateway;
        return change;
    }
    static SettingsChange Protocol(int protocol) {
        SettingsChange change;
        change.protocol = protocol;
        return change;
    }
    static SettingsChange Mode(bool modeDM7) {
        SettingsChange change;
        change.modeDM7 = modeDM7;
        return change;
    }
};

// The sequences of requests that the window and the command line share. Each works on the
// device record of the link it is given, and each failure has been told to the operator
// (once) when it returns false.
class CDeviceSequences {
public:
    // Called after each completed request of a read-out with its number, 1 to 4.
    using ReadOutStep = std::function<void(int completed)>;

    // The Connect read-out: status record, MAC address (then the valid-device check),
    // Ethernet parameters, eadk parameters.
    static bool ReadOut(CCommInterface& comm, const ReadOutStep& afterStep = {});

    // Fills the pending settings for one change.
    static void PrepareChange(DeviceDataRecord& data, const SettingsChange& change);

    // Writes the pending settings with the option bytes as read and restarts the device; a
    // refused write is told as "Unable to Set <name>".
    static bool SendSetting(CCommInterface& comm, const QString& name);
};
