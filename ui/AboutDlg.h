#pragma once

#include "platform/TemplateDialog.h"

class QLabel;

// The About box: the program name with its product version, and a notice line.
class CAboutDlg : public platform::TemplateDialog {
    Q_OBJECT

public:
    explicit CAboutDlg(QWidget* parent = nullptr);

    QLabel* m_staticVersion = nullptr;

private:
    bool OnInitDialog();
};
