#pragma once

#include "platform/MessageBox.h"

#include <QString>
#include <QTemporaryDir>

#include <atomic>
#include <memory>

class CDELVOREncoderDlg;

namespace bench {

// The program's main dialog as a benchmark drives it: registry hives in a temporary folder
// (as start-up creates them), every message box counted and written to standard error
// instead of shown, and Connect pressed against a loopback address.
class DialogSession {
public:
    DialogSession();
    ~DialogSession();
    DialogSession(const DialogSession&) = delete;
    DialogSession& operator=(const DialogSession&) = delete;

    // Creates the settings key and shows the dialog. False (with `error`) when the hives
    // cannot be set up.
    bool Open(QString& error);
    CDELVOREncoderDlg& Dialog() { return *m_dialog; }

    // Types `address` into the target field.
    void SetTarget(const QString& address);
    // Presses "Connect"; true when the read-out succeeded and the status poller runs.
    bool ClickConnect();
    // Waits until the poller has shown a position other than `before` (its first poll).
    bool WaitForPositionChange(const QString& before, int timeoutMs);
    QString PositionText() const;

    int Messages() const { return m_messages; }

private:
    QTemporaryDir m_hives;
    std::atomic<int> m_messages{0};
    platform::MessageBoxHandler m_previousHandler;
    std::unique_ptr<CDELVOREncoderDlg> m_dialog;
};

} // namespace bench
