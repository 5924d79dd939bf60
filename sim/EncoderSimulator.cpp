#include "sim/EncoderSimulator.h"

// First cut: the API compiles and reports an idle device; the behaviour follows.
namespace sim {

class SimulatorCore {
public:
    SimulatorConfig config;
    QString error;
};

CEncoderSimulator::CEncoderSimulator(SimulatorConfig config)
    : m_core(std::make_unique<SimulatorCore>()) {
    m_core->config = std::move(config);
}
CEncoderSimulator::~CEncoderSimulator() = default;
bool CEncoderSimulator::Start() {
    m_core->error = QStringLiteral("not implemented yet");
    return false;
}
void CEncoderSimulator::Stop() {}
QString CEncoderSimulator::ErrorString() const {
    return m_core->error;
}
QString CEncoderSimulator::Address() const {
    return m_core->config.address;
}
quint16 CEncoderSimulator::Port() const {
    return m_core->config.port;
}
bool CEncoderSimulator::IsListening() const {
    return false;
}
bool CEncoderSimulator::WaitUntilListening(int) const {
    return false;
}
bool CEncoderSimulator::WaitForRestarts(int, int) const {
    return false;
}
int CEncoderSimulator::RestartCount() const {
    return 0;
}
DeviceIdentity CEncoderSimulator::Identity() const {
    return {};
}
void CEncoderSimulator::SetIdentity(const DeviceIdentity&) {}
NetworkSettings CEncoderSimulator::Settings() const {
    return {};
}
void CEncoderSimulator::SetSettings(const NetworkSettings&) {}
ConnectionParams CEncoderSimulator::Connection() const {
    return {};
}
void CEncoderSimulator::SetConnection(const ConnectionParams&) {}
qint32 CEncoderSimulator::Position() const {
    return 0;
}
void CEncoderSimulator::SetPosition(qint32) {}
void CEncoderSimulator::PinPosition(bool) {}
bool CEncoderSimulator::InBootMode() const {
    return false;
}
void CEncoderSimulator::SetRestartAwayMs(int) {}
void CEncoderSimulator::SetBootDelayMs(int) {}
void CEncoderSimulator::SetExecDelayMs(int) {}
void CEncoderSimulator::SetKeepOldProtocol(bool) {}
void CEncoderSimulator::SetKeepOldMode(bool) {}
void CEncoderSimulator::SetFault(BYTE, Fault) {}
void CEncoderSimulator::ClearFault(BYTE) {}
void CEncoderSimulator::ClearFaults() {}
void CEncoderSimulator::SetReplyOverride(BYTE, const QByteArray&, bool) {}
void CEncoderSimulator::ClearReplyOverride(BYTE) {}
void CEncoderSimulator::SetRefuseConnections(bool) {}
void CEncoderSimulator::RejectBlock(int, BYTE) {}
void CEncoderSimulator::DropAtBlock(int) {}
void CEncoderSimulator::ClearBlockFaults() {}
std::vector<ReceivedRequest> CEncoderSimulator::Requests() const {
    return {};
}
int CEncoderSimulator::RequestCount(BYTE) const {
    return 0;
}
int CEncoderSimulator::AppliedCount(BYTE) const {
    return 0;
}
std::vector<QByteArray> CEncoderSimulator::SetPayloads() const {
    return {};
}
std::vector<FirmwareBlock> CEncoderSimulator::FirmwareBlocks() const {
    return {};
}
int CEncoderSimulator::ConnectionCount() const {
    return 0;
}
void CEncoderSimulator::ClearLog() {}

} // namespace sim
