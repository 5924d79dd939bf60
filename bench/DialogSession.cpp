#include "DialogSession.h"

#include "EventLoopWait.h"
#include "platform/IpAddressCtrl.h"
#include "platform/RegistrySettings.h"
#include "res/ResourceIds.h"
#include "ui/DELVOREncoderDlg.h"

#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

namespace bench {

DialogSession::DialogSession() {
    m_previousHandler =
        platform::SetMessageBoxHandler([this](const platform::MessageBoxRequest& request) {
            std::fprintf(stderr, "message: %s\n", qPrintable(request.text));
            ++m_messages;
        });
}

// The dialog goes first: its poller may still report through the handler.
DialogSession::~DialogSession() {
    m_dialog.reset();
    platform::SetMessageBoxHandler(m_previousHandler);
}

bool DialogSession::Open(QString& error) {
    if (!m_hives.isValid()) {
        error = QStringLiteral("no temporary folder: ") + m_hives.errorString();
        return false;
    }
    qputenv("RIVIVOZUZUVOD_HKCU_DIR", QFile::encodeName(m_hives.filePath(QStringLiteral("hkcu"))));
    qputenv("RIVIVOZUZUVOD_HKLM_DIR", QFile::encodeName(m_hives.filePath(QStringLiteral("hklm"))));
    if (!CreateSettingsKey()) {
        error = QStringLiteral("cannot create the settings key in ") + m_hives.path();
        return false;
    }
    m_dialog = std::make_unique<CDELVOREncoderDlg>();
    m_dialog->show();
    QCoreApplication::processEvents();
    return true;
}

void DialogSession::SetTarget(const QString& address) {
    m_dialog->m_ipTargetDevice->SetWindowText(address);
}

bool DialogSession::ClickConnect() {
    auto* button = m_dialog->item<QPushButton>(res::IDC_CONNECT);
    if (button == nullptr)
        return false;
    button->click(); // runs the whole read-out before it returns
    return m_dialog->m_StatusPoller.HasWorker();
}

QString DialogSession::PositionText() const {
    return m_dialog->m_editResolverPosition ? m_dialog->m_editResolverPosition->text() : QString();
}

bool DialogSession::WaitForPositionChange(const QString& before, int timeoutMs) {
    return WaitUntil([&] { return PositionText() != before; }, timeoutMs);
}

} // namespace bench
