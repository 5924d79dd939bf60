#pragma once

#include "comm/CommInterface.h"

class COutput;

// --verbose: each request, once it has ended, as a line on standard error with the device,
// the time it ended, what was asked, how it went and how long it took.
class CRequestTrace : public CCommInterface::RequestObserver {
public:
    explicit CRequestTrace(COutput& output) : m_output(output) {}

    void RequestEnded(const CCommInterface& link, const QString& text, bool succeeded,
                      qint64 elapsedMs) override;

private:
    COutput& m_output;
};
