#pragma once

#include "commdll/Frame.h"

#include <QByteArray>

namespace commdll {

// Cuts frames of one kind out of a byte stream. It never holds more than one frame: bytes
// are taken only as far as the current frame needs them, and a header that announces a
// payload above the maximum is refused before any of that payload is buffered.
class CFrameReader {
public:
    enum class State { Incomplete, Complete, BadType, BadLength, BadChecksum };

    explicit CFrameReader(BYTE expectedKind);

    // Takes bytes from `data` up to the end of the current frame; returns how many it took.
    // Takes nothing once a frame is complete (until TakeFrame) or an error was found.
    qsizetype Feed(const char* data, qsizetype size);

    State GetState() const { return m_state; }
    // Bytes the current frame still needs (header first, then the rest).
    qsizetype BytesWanted() const;
    bool HasPartialFrame() const { return !m_buffer.isEmpty() && m_state == State::Incomplete; }

    // The complete frame; the reader then waits for the next one.
    Frame TakeFrame();
    void Reset();

private:
    void CheckHeader();
    void CheckComplete();

    BYTE m_expectedKind;
    QByteArray m_buffer;
    qsizetype m_frameSize = 0; // known once the header is in, 0 before
    State m_state = State::Incomplete;
};

} // namespace commdll
