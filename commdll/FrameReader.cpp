#include "commdll/FrameReader.h"

#include "commdll/Crc16.h"

#include <algorithm>

namespace commdll {

namespace {

std::uint32_t BigEndianAt(const QByteArray& bytes, qsizetype offset, int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value = (value << 8) | static_cast<BYTE>(bytes[offset + i]);
    return value;
}

} // namespace

CFrameReader::CFrameReader(BYTE expectedKind) : m_expectedKind(expectedKind) {
    m_buffer.reserve(FRAME_MAX_SIZE);
}

qsizetype CFrameReader::Feed(const char* data, qsizetype size) {
    qsizetype taken = 0;
    while (m_state == State::Incomplete && taken < size) {
        const qsizetype step = std::min(BytesWanted(), size - taken);
        m_buffer.append(data + taken, step);
        taken += step;
        if (m_frameSize == 0 && m_buffer.size() == FRAME_HEADER_SIZE)
            CheckHeader();
        else if (m_frameSize != 0 && m_buffer.size() == m_frameSize)
            CheckComplete();
    }
    return taken;
}

Frame CFrameReader::TakeFrame() {
    Frame frame;
    if (m_state != State::Complete)
        return frame;
    frame.kind = static_cast<BYTE>(m_buffer[1]);
    frame.sequence = BigEndianAt(m_buffer, 2, 4);
    frame.code = static_cast<BYTE>(m_buffer[6]);
    frame.flagsOrStatus = static_cast<BYTE>(m_buffer[7]);
    frame.payload =
        m_buffer.mid(FRAME_HEADER_SIZE, m_frameSize - FRAME_HEADER_SIZE - FRAME_CHECKSUM_SIZE);
    Reset();
    return frame;
}

void CFrameReader::Reset() {
    m_buffer.clear();
    m_frameSize = 0;
    m_state = State::Incomplete;
}

qsizetype CFrameReader::BytesWanted() const {
    const qsizetype target = m_frameSize == 0 ? FRAME_HEADER_SIZE : m_frameSize;
    return target - m_buffer.size();
}

void CFrameReader::CheckHeader() {
    if (static_cast<BYTE>(m_buffer[0]) != FRAME_MAGIC ||
        static_cast<BYTE>(m_buffer[1]) != m_expectedKind) {
        m_state = State::BadType;
        return;
    }
    const auto payloadLength = BigEndianAt(m_buffer, 8, 2);
    if (payloadLength > static_cast<std::uint32_t>(FRAME_MAX_PAYLOAD)) {
        m_state = State::BadLength;
        return;
    }
    m_frameSize = FRAME_HEADER_SIZE + static_cast<qsizetype>(payloadLength) + FRAME_CHECKSUM_SIZE;
}

void CFrameReader::CheckComplete() {
    const qsizetype checked = m_frameSize - FRAME_CHECKSUM_SIZE;
    const auto expected = Crc16Xmodem(QByteArrayView(m_buffer).first(checked));
    const auto received = BigEndianAt(m_buffer, checked, FRAME_CHECKSUM_SIZE);
    m_state = expected == received ? State::Complete : State::BadChecksum;
}

} // namespace commdll
