#include "sim/DeviceModel.h"

#include "commdll/Crc16.h"
#include "platform/Ipv4Address.h"

namespace sim {

namespace {

// Message codes the device understands.
constexpr BYTE CODE_RESTART = 0x01;
constexpr BYTE CODE_STATUS = 0x12;
constexpr BYTE CODE_BLOCK = 0x1A;
constexpr BYTE CODE_BOOT = 0x1B;
constexpr BYTE CODE_EXEC = 0x1C;
constexpr BYTE CODE_SET_PARAMS = 0x2A;
constexpr BYTE CODE_GET_PARAMS = 0x2B;
constexpr BYTE CODE_MAC = 0x2F;

// Device statuses it answers with.
constexpr BYTE STATUS_OUT_OF_MEMORY = 6; // firmware image larger than the flash
constexpr BYTE STATUS_TYPE = 9;          // unknown message
constexpr BYTE STATUS_FORMAT = 15;       // payload of the wrong size or selector
constexpr BYTE STATUS_NO_IMAGE = 16;     // exec: image incomplete, length or CRC differ
constexpr BYTE STATUS_PROTECTION = 19;   // a block outside boot mode

constexpr int STATUS_RECORD_SIZE = 32;
constexpr int MAC_REPLY_SIZE = 9;
constexpr int ETHERNET_REPLY_SIZE = 21;
constexpr int EADK_REPLY_SIZE = 18;
constexpr int SET_PAYLOAD_SIZE = 21;
constexpr int EXEC_PAYLOAD_SIZE = 6;
constexpr char VALID_SIGNATURE = 'q';
constexpr char INVALID_SIGNATURE = 'p';
// The flash takes an image of at most this size.
constexpr qsizetype FLASH_SIZE = 8 * 1024 * 1024;
// A long-running simulator keeps the latest requests only.
constexpr std::size_t LOG_LIMIT = 100000;
// A sequence number far ahead of anything the client has sent.
constexpr std::uint32_t SEQUENCE_JUMP = 0x1000;

// The five fixed bytes that open the Ethernet parameter reply and the set payload.
constexpr std::array<BYTE, 5> kSettingsHeader{0x01, 0x13, 0x00, 0x13, 0x01};

void PutBigEndian(QByteArray& bytes, int offset, std::uint32_t value, int count) {
    for (int i = 0; i < count; ++i)
        bytes[offset + i] = static_cast<char>((value >> ((count - 1 - i) * 8)) & 0xFF);
}

std::uint32_t BigEndianAt(const QByteArray& bytes, int offset, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | static_cast<BYTE>(bytes[offset + i]);
    return value;
}

template <std::size_t N>
void PutBytes(QByteArray& bytes, int offset, const std::array<BYTE, N>& src) {
    for (std::size_t i = 0; i < N; ++i)
        bytes[offset + static_cast<int>(i)] = static_cast<char>(src[i]);
}

std::array<BYTE, 4> QuadAt(const QByteArray& bytes, int offset) {
    return {static_cast<BYTE>(bytes[offset]), static_cast<BYTE>(bytes[offset + 1]),
            static_cast<BYTE>(bytes[offset + 2]), static_cast<BYTE>(bytes[offset + 3])};
}

std::array<BYTE, 4> OctetsOf(const QString& address) {
    return Ipv4Address::Parse(address).value_or(Ipv4Address()).octets();
}

QString AddressOf(const std::array<BYTE, 4>& octets) {
    return Ipv4Address(octets).ToString();
}

bool IsLoopback(const std::array<BYTE, 4>& octets) {
    return octets[0] == 127;
}

} // namespace

CDeviceModel::CDeviceModel(const SimulatorConfig& config)
    : m_restartAwayMs(config.restartAwayMs), m_bootDelayMs(config.bootDelayMs),
      m_execDelayMs(config.execDelayMs), m_blockTimeMs(config.blockTimeMs) {
    m_settings.ip = OctetsOf(config.address);
    m_settings.options[3] = config.protocolByte;
}

ReplyPlan CDeviceModel::Handle(const commdll::Frame& request) {
    std::lock_guard lock(m_mutex);
    FinishExec();
    Log(request);
    // A resend of the request answered last gets the same answer and is not acted on again;
    // while the first copy is still being worked on, the answer waits for that work to end.
    if (IsResend(request)) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(m_lastReply->readyAt - Clock::now());
        return {m_lastReply->bytes, static_cast<int>(std::max<qint64>(0, left.count())), false,
                m_lastReply->restart};
    }

    const Fault fault = TakeFault(request.code);
    switch (fault.kind) {
    case FaultKind::NoReply:
        return {};
    case FaultKind::DropConnection:
        return {{}, 0, true, false};
    case FaultKind::DeviceError:
        return {ReplyFrame(request, static_cast<BYTE>(fault.value), {}), 0, false, false};
    default:
        break;
    }

    ++m_appliedCounts[request.code];
    Answer answer = Apply(request, fault.kind != FaultKind::NotValidDevice);
    if (answer.drop)
        return {{}, 0, true, false};
    if (auto payload = TakeOverride(request.code); payload && answer.status == 0)
        answer.payload = *payload;
    ReplyPlan plan{ReplyFrame(request, answer.status, answer.payload), answer.delayMs, false,
                   answer.restart};
    m_lastReply = LastReply{
        request.sequence, request.code,   request.payload,
        plan.bytes,       answer.restart, Clock::now() + std::chrono::milliseconds(answer.delayMs)};
    if (answer.dropReply)
        return Disturb(request, Fault::FailFirstAttempt(), plan);
    return Disturb(request, fault, plan);
}

// Faults that change the reply after the device has acted on the request.
ReplyPlan CDeviceModel::Disturb(const commdll::Frame& request, const Fault& fault,
                                ReplyPlan plan) const {
    if (fault.kind == FaultKind::None)
        return plan;
    commdll::Frame reply;
    reply.kind = commdll::FRAME_KIND_REPLY;
    reply.sequence = request.sequence;
    reply.code = request.code;
    reply.flagsOrStatus = static_cast<BYTE>(plan.bytes[7]);
    reply.payload =
        plan.bytes.mid(commdll::FRAME_HEADER_SIZE, plan.bytes.size() - commdll::FRAME_HEADER_SIZE -
                                                       commdll::FRAME_CHECKSUM_SIZE);
    switch (fault.kind) {
    case FaultKind::SlowReply:
        plan.delayMs += fault.value;
        break;
    case FaultKind::BadChecksum:
        plan.bytes[plan.bytes.size() - 1] = static_cast<char>(plan.bytes.back() ^ 0x5A);
        break;
    case FaultKind::WrongCode:
        reply.code = static_cast<BYTE>(request.code + 1);
        plan.bytes = commdll::EncodeFrame(reply);
        break;
    case FaultKind::WrongSequence:
        reply.sequence = request.sequence + SEQUENCE_JUMP;
        plan.bytes = commdll::EncodeFrame(reply);
        break;
    case FaultKind::ShortReply:
        // At least one byte short of the length the header announces.
        plan.bytes.truncate(plan.bytes.size() - 1 - reply.payload.size() / 2);
        plan.dropAfter = true;
        break;
    case FaultKind::FailFirstAttempt:
        // Acted on and remembered, but the connection drops at once, while the work goes on;
        // the answer (and a restart) waits for the resend.
        plan.bytes.clear();
        plan.delayMs = 0;
        plan.dropAfter = true;
        plan.restartAfter = false;
        break;
    default:
        break;
    }
    return plan;
}

CDeviceModel::Answer CDeviceModel::Apply(const commdll::Frame& request, bool validDevice) {
    switch (request.code) {
    case CODE_STATUS:
        return StatusRecord(validDevice);
    case CODE_MAC:
        return MacReply();
    case CODE_GET_PARAMS:
        return ParamsReply(request.payload);
    case CODE_SET_PARAMS:
        return StoreSettings(request.payload);
    case CODE_RESTART:
        return {0, {}, 0, false, true};
    case CODE_BOOT:
        return EnterBoot();
    case CODE_BLOCK:
        return TakeBlock(request);
    case CODE_EXEC:
        return CheckAndExec(request.payload);
    default:
        return {STATUS_TYPE, {}, 0, false, false};
    }
}

CDeviceModel::Answer CDeviceModel::StatusRecord(bool validDevice) {
    QByteArray record(STATUS_RECORD_SIZE, '\0');
    record[0] = validDevice ? VALID_SIGNATURE : INVALID_SIGNATURE;
    record[1] = static_cast<char>(m_identity.hardwareRevision);
    record[2] = m_identity.bootLetter;
    record[3] = static_cast<char>(m_identity.bootNumber);
    record[4] = m_identity.execLetter;
    record[5] = static_cast<char>(m_identity.execNumber);
    PutBigEndian(record, 22, static_cast<std::uint32_t>(m_position), 4);
    if (!m_positionPinned)
        m_position = static_cast<qint32>(static_cast<std::uint32_t>(m_position) + 1);
    return {0, record, 0, false, false};
}

CDeviceModel::Answer CDeviceModel::MacReply() const {
    QByteArray reply(MAC_REPLY_SIZE, '\0');
    reply[0] = 0x01; // address type, then the address length
    reply[2] = 0x06;
    PutBytes(reply, 3, m_identity.mac);
    return {0, reply, 0, false, false};
}

CDeviceModel::Answer CDeviceModel::ParamsReply(const QByteArray& payload) const {
    if (payload.size() != 1)
        return {STATUS_FORMAT, {}, 0, false, false};
    if (payload[0] == 0x01) {
        QByteArray reply(ETHERNET_REPLY_SIZE, '\0');
        PutBytes(reply, 0, kSettingsHeader);
        PutBytes(reply, 5, m_settings.ip);
        PutBytes(reply, 9, m_settings.mask);
        PutBytes(reply, 13, m_settings.gateway);
        PutBytes(reply, 17, m_settings.options);
        return {0, reply, 0, false, false};
    }
    if (payload[0] == 0x05) {
        QByteArray reply(EADK_REPLY_SIZE, '\0');
        reply[0] = 0x05;
        PutBigEndian(reply, 7, m_connection.outputSize, 2);
        PutBigEndian(reply, 9, m_connection.inputSize, 2);
        PutBigEndian(reply, 14, m_connection.outputInstance, 2);
        PutBigEndian(reply, 16, m_connection.inputInstance, 2);
        return {0, reply, 0, false, false};
    }
    return {STATUS_FORMAT, {}, 0, false, false};
}

CDeviceModel::Answer CDeviceModel::StoreSettings(const QByteArray& payload) {
    if (payload.size() != SET_PAYLOAD_SIZE)
        return {STATUS_FORMAT, {}, 0, false, false};
    if (m_setPayloads.size() >= LOG_LIMIT)
        m_setPayloads.erase(m_setPayloads.begin(), m_setPayloads.begin() + LOG_LIMIT / 10);
    m_setPayloads.push_back(payload);
    m_pendingSettings = payload; // takes effect at the next restart
    return {};
}

CDeviceModel::Answer CDeviceModel::EnterBoot() {
    m_bootMode = true;
    m_blocks.clear();
    m_imageSize = 0;
    m_imageComplete = false;
    return {0, {}, m_bootDelayMs, false, false};
}

CDeviceModel::Answer CDeviceModel::TakeBlock(const commdll::Frame& request) {
    if (!m_bootMode)
        return {STATUS_PROTECTION, {}, 0, false, false};
    const BYTE flags = commdll::BlockFlagsOf(request.flagsOrStatus);
    if (flags & 0x01) {
        m_blocks.clear();
        m_imageSize = 0;
        m_imageComplete = false;
    }
    const int blockNumber = static_cast<int>(m_blocks.size()) + 1;
    if (m_droppedBlocks.count(blockNumber) != 0)
        return {0, {}, 0, true, false};
    if (auto rejected = m_rejectedBlocks.find(blockNumber); rejected != m_rejectedBlocks.end())
        return {rejected->second, {}, 0, false, false};
    if (m_imageSize + request.payload.size() > FLASH_SIZE)
        return {STATUS_OUT_OF_MEMORY, {}, 0, false, false};
    m_imageSize += request.payload.size();
    m_blocks.push_back({flags, request.payload});
    m_imageComplete = (flags & 0x02) != 0;
    const bool dropReply = m_droppedReplyBlocks.erase(blockNumber) != 0;
    return {0, {}, m_blockTimeMs, false, false, dropReply};
}

CDeviceModel::Answer CDeviceModel::CheckAndExec(const QByteArray& payload) {
    if (!m_bootMode)
        return {STATUS_PROTECTION, {}, 0, false, false};
    if (payload.size() != EXEC_PAYLOAD_SIZE)
        return {STATUS_FORMAT, {}, 0, false, false};
    QByteArray image;
    for (const auto& block : m_blocks)
        image.append(block.data);
    // An empty image needs no blocks; any other must have arrived up to its last block.
    const bool complete = m_imageComplete || image.isEmpty();
    const auto length = BigEndianAt(payload, 0, 4);
    const auto crc = BigEndianAt(payload, 4, 2);
    if (!complete || length != static_cast<std::uint32_t>(image.size()) ||
        crc != commdll::Crc16Xmodem(image))
        return {STATUS_NO_IMAGE, {}, 0, false, false};
    // Boot mode ends now (a second exec is refused); the new revision counts once the image
    // has been programmed, when the reply goes out.
    m_bootMode = false;
    m_execDoneAt = Clock::now() + std::chrono::milliseconds(m_execDelayMs);
    return {0, {}, m_execDelayMs, false, false};
}

void CDeviceModel::FinishExec() {
    if (!m_execDoneAt || Clock::now() < *m_execDoneAt)
        return;
    m_identity.execNumber = static_cast<BYTE>(m_identity.execNumber + 1);
    m_execDoneAt.reset();
}

QString CDeviceModel::ApplyRestart(const QString& currentAddress) {
    std::lock_guard lock(m_mutex);
    m_bootMode = false;
    m_lastReply.reset(); // a restarted device remembers no earlier answer
    if (!m_pendingSettings)
        return currentAddress;
    const QByteArray& set = *m_pendingSettings;
    const auto ip = QuadAt(set, 5);
    m_settings.mask = QuadAt(set, 9);
    m_settings.gateway = QuadAt(set, 13);
    const BYTE oldByte = m_settings.options[3];
    m_settings.options = QuadAt(set, 17);
    BYTE newByte = m_settings.options[3];
    if (m_keepOldProtocol)
        newByte = static_cast<BYTE>((newByte & 0xF0) | (oldByte & 0x0F));
    if (m_keepOldMode)
        newByte = static_cast<BYTE>((oldByte & 0xF0) | (newByte & 0x0F));
    m_settings.options[3] = newByte;
    m_pendingSettings.reset();
    // Only a loopback address can really be taken; otherwise the device stays where it was.
    if (IsLoopback(ip))
        m_settings.ip = ip;
    else
        m_settings.ip = OctetsOf(currentAddress);
    return AddressOf(m_settings.ip);
}

void CDeviceModel::Log(const commdll::Frame& request) {
    if (m_requests.size() >= LOG_LIMIT)
        m_requests.erase(m_requests.begin(), m_requests.begin() + LOG_LIMIT / 10);
    m_requests.push_back({request.sequence, request.code,
                          (request.flagsOrStatus & commdll::FRAME_FLAG_REQUEST) != 0,
                          commdll::BlockFlagsOf(request.flagsOrStatus), request.payload,
                          std::chrono::steady_clock::now()});
    ++m_requestCounts[request.code];
}

bool CDeviceModel::IsResend(const commdll::Frame& request) const {
    return m_lastReply && m_lastReply->sequence == request.sequence &&
           m_lastReply->code == request.code && m_lastReply->payload == request.payload;
}

Fault CDeviceModel::TakeFault(BYTE code) {
    const auto found = m_faults.find(code);
    if (found == m_faults.end())
        return {};
    const Fault fault = found->second;
    if (!fault.persistent)
        m_faults.erase(found);
    return fault;
}

std::optional<QByteArray> CDeviceModel::TakeOverride(BYTE code) {
    const auto found = m_overrides.find(code);
    if (found == m_overrides.end())
        return std::nullopt;
    QByteArray payload = found->second.payload;
    if (!found->second.persistent)
        m_overrides.erase(found);
    return payload;
}

QByteArray CDeviceModel::ReplyFrame(const commdll::Frame& request, BYTE status,
                                    const QByteArray& payload) {
    commdll::Frame reply;
    reply.kind = commdll::FRAME_KIND_REPLY;
    reply.sequence = request.sequence;
    reply.code = request.code;
    reply.flagsOrStatus = status;
    reply.payload = payload.left(commdll::FRAME_MAX_PAYLOAD);
    return commdll::EncodeFrame(reply);
}

DeviceIdentity CDeviceModel::Identity() const {
    std::lock_guard lock(m_mutex);
    DeviceIdentity identity = m_identity;
    if (m_execDoneAt && Clock::now() >= *m_execDoneAt)
        identity.execNumber = static_cast<BYTE>(identity.execNumber + 1);
    return identity;
}

void CDeviceModel::SetIdentity(const DeviceIdentity& identity) {
    std::lock_guard lock(m_mutex);
    m_identity = identity;
}

NetworkSettings CDeviceModel::Settings() const {
    std::lock_guard lock(m_mutex);
    return m_settings;
}

void CDeviceModel::SetSettings(const NetworkSettings& settings) {
    std::lock_guard lock(m_mutex);
    m_settings = settings;
}

ConnectionParams CDeviceModel::Connection() const {
    std::lock_guard lock(m_mutex);
    return m_connection;
}

void CDeviceModel::SetConnection(const ConnectionParams& params) {
    std::lock_guard lock(m_mutex);
    m_connection = params;
}

qint32 CDeviceModel::Position() const {
    std::lock_guard lock(m_mutex);
    return m_position;
}

void CDeviceModel::SetPosition(qint32 position) {
    std::lock_guard lock(m_mutex);
    m_position = position;
}

void CDeviceModel::PinPosition(bool pinned) {
    std::lock_guard lock(m_mutex);
    m_positionPinned = pinned;
}

bool CDeviceModel::InBootMode() const {
    std::lock_guard lock(m_mutex);
    return m_bootMode;
}

int CDeviceModel::RestartAwayMs() const {
    std::lock_guard lock(m_mutex);
    return m_restartAwayMs;
}

void CDeviceModel::SetRestartAwayMs(int ms) {
    std::lock_guard lock(m_mutex);
    m_restartAwayMs = ms;
}

void CDeviceModel::SetBootDelayMs(int ms) {
    std::lock_guard lock(m_mutex);
    m_bootDelayMs = ms;
}

void CDeviceModel::SetExecDelayMs(int ms) {
    std::lock_guard lock(m_mutex);
    m_execDelayMs = ms;
}

void CDeviceModel::SetBlockTimeMs(int ms) {
    std::lock_guard lock(m_mutex);
    m_blockTimeMs = ms;
}

void CDeviceModel::SetKeepOldProtocol(bool keep) {
    std::lock_guard lock(m_mutex);
    m_keepOldProtocol = keep;
}

void CDeviceModel::SetKeepOldMode(bool keep) {
    std::lock_guard lock(m_mutex);
    m_keepOldMode = keep;
}

void CDeviceModel::SetFault(BYTE code, Fault fault) {
    std::lock_guard lock(m_mutex);
    if (fault.kind == FaultKind::None)
        m_faults.erase(code);
    else
        m_faults[code] = fault;
}

void CDeviceModel::ClearFault(BYTE code) {
    std::lock_guard lock(m_mutex);
    m_faults.erase(code);
}

void CDeviceModel::ClearFaults() {
    std::lock_guard lock(m_mutex);
    m_faults.clear();
    m_overrides.clear();
    m_rejectedBlocks.clear();
    m_droppedBlocks.clear();
    m_droppedReplyBlocks.clear();
}

void CDeviceModel::SetReplyOverride(BYTE code, const QByteArray& payload, bool persistent) {
    std::lock_guard lock(m_mutex);
    m_overrides[code] = {payload, persistent};
}

void CDeviceModel::ClearReplyOverride(BYTE code) {
    std::lock_guard lock(m_mutex);
    m_overrides.erase(code);
}

void CDeviceModel::RejectBlock(int blockNumber, BYTE status) {
    std::lock_guard lock(m_mutex);
    m_rejectedBlocks[blockNumber] = status;
}

void CDeviceModel::DropAtBlock(int blockNumber) {
    std::lock_guard lock(m_mutex);
    m_droppedBlocks.insert(blockNumber);
}

void CDeviceModel::DropReplyAtBlock(int blockNumber) {
    std::lock_guard lock(m_mutex);
    m_droppedReplyBlocks.insert(blockNumber);
}

void CDeviceModel::ClearBlockFaults() {
    std::lock_guard lock(m_mutex);
    m_rejectedBlocks.clear();
    m_droppedBlocks.clear();
    m_droppedReplyBlocks.clear();
}

std::vector<ReceivedRequest> CDeviceModel::Requests() const {
    std::lock_guard lock(m_mutex);
    return m_requests;
}

int CDeviceModel::RequestCount(BYTE code) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_requestCounts.find(code);
    return found == m_requestCounts.end() ? 0 : found->second;
}

int CDeviceModel::AppliedCount(BYTE code) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_appliedCounts.find(code);
    return found == m_appliedCounts.end() ? 0 : found->second;
}

std::vector<QByteArray> CDeviceModel::SetPayloads() const {
    std::lock_guard lock(m_mutex);
    return m_setPayloads;
}

std::vector<FirmwareBlock> CDeviceModel::FirmwareBlocks() const {
    std::lock_guard lock(m_mutex);
    return m_blocks;
}

void CDeviceModel::ClearLog() {
    std::lock_guard lock(m_mutex);
    m_requests.clear();
    m_requestCounts.clear();
    m_appliedCounts.clear();
    m_setPayloads.clear();
}

} // namespace sim
