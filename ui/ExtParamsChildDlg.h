#pragma once

#include "platform/TemplateDialog.h"

struct EthernetSettings;
class QLineEdit;

// A child panel inside the "Extra Parameters" box: the connection parameters for an
// Ethernet/IP controller (kind 1) or the fixed Modbus register addresses (any other kind).
class CExtParamsChildDlg : public platform::TemplateDialog {
    Q_OBJECT

public:
    static constexpr int RSLogixKind = 1;
    static constexpr int ModbusKind = 2;

    CExtParamsChildDlg(QWidget* parent, int kind);

    // Sizes are shown in 16-bit words (the device reports bytes); instances as they are.
    void FillConnectionParameters(const EthernetSettings& settings);

    QLineEdit* m_editInputInstance = nullptr;
    QLineEdit* m_editOutputInstance = nullptr;
    QLineEdit* m_editInputSize = nullptr;
    QLineEdit* m_editOutputSize = nullptr;
    QLineEdit* m_editConfigInstance = nullptr;
    QLineEdit* m_editConfigSize = nullptr;

private:
    void DoDataExchange();
};
