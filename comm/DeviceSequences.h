#pragma once

#include "comm/DeviceData.h"
#include "comm/Outcome.h"

#include <QLatin1String>
#include <QString>

#include <array>
#include <functional>
#include <optional>

class CCommInterface;
class Ipv4Address;

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

    bool ChangesNetwork() const { return ip || subnetMask || gateway; }
    // Whether a part given here differs from what the device holds: a change that does not
    // would only restart the device.
    bool DiffersFrom(const EthernetSettings& current) const {
        return ip.value_or(current.m_Ip) != current.m_Ip ||
               subnetMask.value_or(current.m_SubnetMask) != current.m_SubnetMask ||
               gateway.value_or(current.m_Gateway) != current.m_Gateway ||
               protocol.value_or(current.m_nProtocol) != current.m_nProtocol ||
               modeDM7.value_or(current.m_bModeDM7) != current.m_bModeDM7;
    }
    // The setting's name in "Setting %s..." and "Unable to Set %s", and the final texts.
    QLatin1String Name() const;
    QLatin1String SuccessText() const;
    QLatin1String FailureText() const;
};

// What a front end does around the steps of a settings change that the sequence runs.
class ChangeFrontEnd {
public:
    virtual ~ChangeFrontEnd() = default;
    // Runs `write` on a fresh link of the front end's, under whatever shows the operator that
    // the device is being written and restarted.
    virtual Outcome Write(const std::function<Outcome(CCommInterface&)>& write) = 0;
    // Reads the device out again at `address`, once it has restarted.
    virtual Outcome Reconnect(const Ipv4Address& address) = 0;
};

// The sequences of requests that the window and the command line share. Each works on the
// device record of the link it is given and returns its outcome; none shows anything.
class CDeviceSequences {
public:
    // Called after each completed request of a read-out with its number, 1 to 4.
    using ReadOutStep = std::function<void(int completed)>;

    // The Connect read-out: status record, MAC address (then the valid-device check),
    // Ethernet parameters, eadk parameters.
    static Outcome ReadOut(CCommInterface& comm, const ReadOutStep& afterStep = {});

    // Fills the pending settings for one change.
    static void PrepareChange(DeviceDataRecord& data, const SettingsChange& change);

    // One settings change after a successful read-out into `data`: the new network settings
    // checked and the new address probed (nothing is sent when either refuses), the pending
    // settings written with the option bytes as read, the restart, the read-out at the address
    // the device now has, and the comparison with what was written (the MAC first).
    static Outcome ChangeSettings(DeviceDataRecord& data, const SettingsChange& change,
                                  ChangeFrontEnd& frontEnd);

    // The write and the restart on `comm`; a refused write is told as "Unable to Set <name>",
    // a refused restart as settings held but not applied.
    static Outcome SendSetting(CCommInterface& comm, const QString& name);
};
