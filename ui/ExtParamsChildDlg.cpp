#include "ExtParamsChildDlg.h"

#include "comm/EthernetSettings.h"
#include "res/ResourceIds.h"
#include "res/Texts.h"

#include <QLineEdit>

using namespace res;

namespace {
int TemplateForKind(int kind) {
    return kind == CExtParamsChildDlg::RSLogixKind ? IDD_RSLOGIX_PANEL : IDD_MODBUS_PANEL;
}

QString Decimal(unsigned value) {
    return QString::asprintf(text::NumberFormat.data(), static_cast<int>(value));
}
} // namespace

CExtParamsChildDlg::CExtParamsChildDlg(QWidget* parent, int kind)
    : platform::TemplateDialog(TemplateForKind(kind), parent) {
    DoDataExchange();
}

void CExtParamsChildDlg::DoDataExchange() {
    m_editInputInstance = item<QLineEdit>(IDC_INPUT_INSTANCE);
    m_editOutputInstance = item<QLineEdit>(IDC_OUTPUT_INSTANCE);
    m_editInputSize = item<QLineEdit>(IDC_INPUT_SIZE);
    m_editOutputSize = item<QLineEdit>(IDC_OUTPUT_SIZE);
    m_editConfigInstance = item<QLineEdit>(IDC_CONFIG_INSTANCE);
    m_editConfigSize = item<QLineEdit>(IDC_CONFIG_SIZE);
}

void CExtParamsChildDlg::FillConnectionParameters(const EthernetSettings& settings) {
    m_editOutputSize->setText(Decimal(BigEndianWord(settings.m_wOutputSize) >> 1));
    m_editInputSize->setText(Decimal(BigEndianWord(settings.m_wInputSize) >> 1));
    m_editOutputInstance->setText(Decimal(BigEndianWord(settings.m_wOutputInstance)));
    m_editInputInstance->setText(Decimal(BigEndianWord(settings.m_wInputInstance)));
    m_editConfigInstance->setText(QString(text::ConfigInstance));
    m_editConfigSize->setText(QString(text::ConfigSize));
}
