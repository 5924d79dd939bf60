#include "IpAddressCtrl.h"

#include "platform/Ipv4Address.h"
#include "platform/MessageBox.h"
#include "res/Texts.h"

#include <QAction>
#include <QClipboard>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpressionValidator>
#include <QStringList>

namespace platform {

namespace {

constexpr int kMaxFieldValue = 255;
constexpr int kFieldDigits = 3;
constexpr qsizetype kMaxDottedLength = 64; // longer clipboard text is no address

int fieldValue(const QLineEdit* field) {
    return field->text().isEmpty() ? 0 : field->text().toInt();
}

// A number typed or set beyond the field's range is held at its top.
QString clampedFieldText(const QString& part) {
    const QString digits = part.trimmed();
    if (digits.isEmpty() || digits.size() > 9)
        return digits.isEmpty() ? QString() : QString::number(kMaxFieldValue);
    bool isNumber = false;
    const int value = digits.toInt(&isNumber);
    if (!isNumber || value < 0)
        return {};
    return QString::number(qMin(value, kMaxFieldValue));
}

} // namespace

CIPAddressCtrl::CIPAddressCtrl(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setBackgroundRole(QPalette::Base);
    setAutoFillBackground(true);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 0, 2, 0);
    layout->setSpacing(0);
    const auto* validator =
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")), this);
    for (int index = 0; index < kFieldCount; ++index) {
        if (index > 0) {
            auto* dot = new QLabel(QStringLiteral("."), this);
            dot->setAlignment(Qt::AlignCenter);
            layout->addWidget(dot);
        }
        auto* field = new QLineEdit(this);
        field->setObjectName(QStringLiteral("field%1").arg(index));
        field->setFrame(false);
        field->setAlignment(Qt::AlignCenter);
        field->setMaxLength(kFieldDigits);
        field->setValidator(validator);
        field->setMinimumWidth(1);
        // One tab stop for the whole control, as users know it: Tab leaves the address.
        if (index > 0)
            field->setFocusPolicy(Qt::ClickFocus);
        field->installEventFilter(this);
        field->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(field, &QLineEdit::customContextMenuRequested, this,
                [this, index](const QPoint& position) { showFieldMenu(index, position); });
        connect(field, &QLineEdit::textEdited, this, [this, index] { onFieldEdited(index); });
        connect(field, &QLineEdit::textChanged, this, &CIPAddressCtrl::addressChanged);
        layout->addWidget(field, 1);
        m_fields[index] = field;
    }
    setFocusProxy(m_fields[0]);
    setFocusPolicy(Qt::StrongFocus);
}

QLineEdit* CIPAddressCtrl::field(int index) const {
    return index >= 0 && index < kFieldCount ? m_fields[index] : nullptr;
}

int CIPAddressCtrl::GetAddress(BYTE& field0, BYTE& field1, BYTE& field2, BYTE& field3) const {
    field0 = static_cast<BYTE>(fieldValue(m_fields[0]));
    field1 = static_cast<BYTE>(fieldValue(m_fields[1]));
    field2 = static_cast<BYTE>(fieldValue(m_fields[2]));
    field3 = static_cast<BYTE>(fieldValue(m_fields[3]));
    int filled = 0;
    for (const QLineEdit* field : m_fields)
        filled += field->text().isEmpty() ? 0 : 1;
    return filled;
}

bool CIPAddressCtrl::IsBlank() const {
    for (const QLineEdit* field : m_fields) {
        if (!field->text().isEmpty())
            return false;
    }
    return true;
}

void CIPAddressCtrl::SetWindowText(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    for (int index = 0; index < kFieldCount; ++index)
        setField(index, index < parts.size() ? clampedFieldText(parts[index]) : QString());
}

QString CIPAddressCtrl::GetWindowText() const {
    if (IsBlank())
        return {};
    Ipv4Address::Octets octets{};
    GetAddress(octets[0], octets[1], octets[2], octets[3]);
    return Ipv4Address(octets).ToString();
}

void CIPAddressCtrl::SetFieldFocus(int index) {
    if (index < 0 || index >= kFieldCount)
        return;
    m_fields[index]->setFocus(Qt::OtherFocusReason);
    m_fields[index]->selectAll();
}

void CIPAddressCtrl::setField(int index, const QString& text) {
    if (m_fields[index]->text() != text)
        m_fields[index]->setText(text);
}

int CIPAddressCtrl::fieldIndex(QObject* object) const {
    for (int index = 0; index < kFieldCount; ++index) {
        if (m_fields[index] == object)
            return index;
    }
    return -1;
}

void CIPAddressCtrl::onFieldEdited(int index) {
    QLineEdit* field = m_fields[index];
    const int value = fieldValue(field);
    if (value > kMaxFieldValue) {
        field->setText(QString::number(kMaxFieldValue));
        field->selectAll();
        ShowAppMessage(QString::asprintf(res::text::IpFieldOutOfRangeFormat.data(), value),
                       MessageIcon::Warning);
        return;
    }
    if (field->text().size() == kFieldDigits && field->cursorPosition() == kFieldDigits &&
        index + 1 < kFieldCount) {
        SetFieldFocus(index + 1);
        // The operator who types "127." meant the dot for the field just left.
        m_dotAfterAutoMove = true;
    }
}

// A dotted address, pasted or arriving in one key event, fills all four fields; spaces
// around its parts are dropped. Anything else is left to the field.
bool CIPAddressCtrl::takeDottedAddress(const QString& text) {
    QString compact = text;
    compact.remove(QLatin1Char(' ')).remove(QLatin1Char('\t')).remove(QLatin1Char('\n'));
    if (!compact.contains(QLatin1Char('.')) || compact.size() > kMaxDottedLength)
        return false;
    SetWindowText(compact);
    SetFieldFocus(qMin(compact.count(QLatin1Char('.')), kFieldCount - 1));
    return true;
}

bool CIPAddressCtrl::handleFieldKey(int index, const QKeyEvent& key) {
    const QLineEdit* field = m_fields[index];
    const bool atStart = field->cursorPosition() == 0 && !field->hasSelectedText();
    const bool atEnd = field->cursorPosition() == field->text().size() && !field->hasSelectedText();
    if (key.text() == QLatin1String(" "))
        return true; // spaces are never typed into a field and change nothing
    const bool dotExpected = m_dotAfterAutoMove;
    m_dotAfterAutoMove = false;
    if (key.text() == QLatin1String(".")) {
        if (!dotExpected && !field->text().isEmpty())
            SetFieldFocus(index + 1);
        return true; // never typed into a field
    }
    if (key.matches(QKeySequence::Paste))
        return takeDottedAddress(QGuiApplication::clipboard()->text());
    if (key.text().size() > 1 && takeDottedAddress(key.text()))
        return true;
    if ((key.key() == Qt::Key_Backspace || key.key() == Qt::Key_Left) && atStart && index > 0) {
        m_fields[index - 1]->setFocus(Qt::OtherFocusReason);
        m_fields[index - 1]->end(false);
        return true;
    }
    if (key.key() == Qt::Key_Right && atEnd && index + 1 < kFieldCount) {
        m_fields[index + 1]->setFocus(Qt::OtherFocusReason);
        m_fields[index + 1]->home(false);
        return true;
    }
    return false;
}

bool CIPAddressCtrl::eventFilter(QObject* watched, QEvent* event) {
    const int index = fieldIndex(watched);
    if (index >= 0 && event->type() == QEvent::KeyPress &&
        handleFieldKey(index, *static_cast<QKeyEvent*>(event)))
        return true;
    if (index >= 0 && event->type() == QEvent::FocusOut)
        m_dotAfterAutoMove = false; // the operator went elsewhere: the next dot counts
    // A field that gets the focus with its window (as the window opens, or as the operator
    // comes back to it) selects its text, so what is typed first replaces it.
    if (index >= 0 && event->type() == QEvent::FocusIn &&
        static_cast<QFocusEvent*>(event)->reason() == Qt::ActiveWindowFocusReason)
        QMetaObject::invokeMethod(m_fields[index], &QLineEdit::selectAll, Qt::QueuedConnection);
    return QFrame::eventFilter(watched, event);
}

// The field's own menu, with Paste taking a dotted address into all four fields.
void CIPAddressCtrl::showFieldMenu(int index, const QPoint& position) {
    QLineEdit* field = m_fields[index];
    QMenu* menu = field->createStandardContextMenu();
    menu->setAttribute(Qt::WA_DeleteOnClose);
    if (QAction* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
        disconnect(paste, &QAction::triggered, nullptr, nullptr);
        connect(paste, &QAction::triggered, this, [this, field] {
            if (!takeDottedAddress(QGuiApplication::clipboard()->text()))
                field->paste();
        });
    }
    menu->popup(field->mapToGlobal(position));
}

} // namespace platform
