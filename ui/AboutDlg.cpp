#include "AboutDlg.h"

#include "platform/ProductVersion.h"
#include "res/ResourceIds.h"
#include "res/Texts.h"

#include <QLabel>

CAboutDlg::CAboutDlg(QWidget* parent) : platform::TemplateDialog(res::IDD_ABOUTBOX, parent) {
    m_staticVersion = item<QLabel>(res::IDC_VERSION);
    OnInitDialog();
}

// The template text is followed by the version: "DELVOR RivivozUzuvod, Version 1.0".
bool CAboutDlg::OnInitDialog() {
    QString version;
    GetProductVersion(version);
    if (m_staticVersion != nullptr) {
        m_staticVersion->setText(QString::asprintf(res::text::AboutVersionFormat.data(),
                                                   qPrintable(m_staticVersion->text()),
                                                   qPrintable(version)));
    }
    return true;
}
