#pragma once

#include <QString>

namespace platform {

// A line of text that shows what a running command does.
class StatusText {
public:
    virtual ~StatusText() = default;
    virtual void SetWindowText(const QString& text) = 0;
};

} // namespace platform
