#include "TemplateDialog.h"

#include "platform/ComboBox.h"
#include "platform/IpAddressCtrl.h"
#include "res/DialogTemplates.h"
#include "res/Icon.h"
#include "res/ResourceIds.h"
#include "res/Texts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QWindow>

#include <mutex>

namespace platform {

namespace {

using res::ControlKind;
namespace style = res::style;
namespace dialogstyle = res::dialogstyle;

constexpr int kIconPixels = 32;

bool has(unsigned styles, unsigned flag) {
    return (styles & flag) != 0;
}

// A static without the no-prefix style shows "&&" as "&" and drops a single "&" (its
// mnemonic marker).
QString staticText(const QString& text, unsigned styles) {
    if (has(styles, style::NoPrefix))
        return text;
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char('&') && i + 1 < text.size())
            ++i;
        else if (text[i] == QLatin1Char('&'))
            continue;
        shown += text[i];
    }
    return shown;
}

QLabel* createStatic(const QString& text, unsigned styles, QWidget* parent) {
    auto* label = new QLabel(staticText(text, styles), parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    const Qt::Alignment horizontal = has(styles, style::Center) ? Qt::AlignHCenter : Qt::AlignLeft;
    const Qt::Alignment vertical =
        has(styles, style::CenterImage) ? Qt::AlignVCenter : Qt::AlignTop;
    label->setAlignment(horizontal | vertical);
    return label;
}

QLabel* createIcon(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setPixmap(res::LoadAppIcon().pixmap(kIconPixels, kIconPixels));
    return label;
}

QLineEdit* createEdit(unsigned styles, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setReadOnly(has(styles, style::ReadOnly));
    edit->setFrame(has(styles, style::Border));
    return edit;
}

QProgressBar* createProgressBar(QWidget* parent) {
    auto* bar = new QProgressBar(parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    bar->setTextVisible(false);
    return bar;
}

QPushButton* createButton(const QString& text, bool isDefault, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setDefault(isDefault);
    return button;
}

bool takesFocus(QWidget* widget) {
    return (widget->focusPolicy() & Qt::TabFocus) != 0;
}

} // namespace

// The window system's help button asks the toolkit for its pointer mode, in which help would
// come only after a further click on a control. The program's dialogs answer at once with
// their context-help command instead, as their window menu's help entry does.
class ContextHelpRouter : public QObject {
public:
    static void Install() {
        static ContextHelpRouter* router = nullptr;
        if (router == nullptr && QCoreApplication::instance() != nullptr) {
            router = new ContextHelpRouter(QCoreApplication::instance());
            QCoreApplication::instance()->installEventFilter(router);
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::EnterWhatsThisMode)
            return QObject::eventFilter(watched, event);
        if (TemplateDialog* dialog = helpTarget())
            dialog->OnSysCommand(res::SC_CONTEXTHELP);
        return true;
    }

private:
    using QObject::QObject;

    // The active dialog, or else the shown dialog whose caption has the help button.
    static TemplateDialog* helpTarget() {
        if (auto* active = qobject_cast<TemplateDialog*>(QApplication::activeWindow()))
            return active;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<TemplateDialog*>(widget);
            if (dialog && dialog->isVisible() &&
                dialog->windowFlags().testFlag(Qt::WindowContextHelpButtonHint))
                return dialog;
        }
        return nullptr;
    }
};

TemplateDialog::TemplateDialog(int templateId, QWidget* parent)
    : QDialog(parent), m_templateId(templateId) {
    const res::DialogTemplate* dialog = res::FindDialogTemplate(templateId);
    setFont(DialogFont(dialog != nullptr ? dialog->pointSize : 8));
    m_baseUnits = BaseUnitsFor(font());
    if (dialog == nullptr)
        return;
    applyWindowStyle(*dialog);
    buildControls(*dialog);
    if (!m_isChild)
        buildWindowMenu();
    // Shown once complete: a control added to a visible widget would stay hidden.
    if (m_isChild && parent != nullptr && has(dialog->style, dialogstyle::Visible))
        setVisible(true);
}

TemplateDialog::~TemplateDialog() = default;

QFont TemplateDialog::DialogFont(int pointSize) {
    QFont font = QApplication::font();
    font.setPointSize(pointSize);
    return font;
}

// The average width is taken over the alphabet in both cases, rounded, as the window
// system's dialog base units are. Measuring text costs more than building the rest of a
// small dialog, so each font is measured once.
QSize TemplateDialog::BaseUnitsFor(const QFont& font) {
    static std::mutex mutex;
    static QHash<QString, QSize> measured;
    constexpr qsizetype kMaxFonts = 64;
    const QString key = font.key();
    std::lock_guard lock(mutex);
    if (const auto found = measured.constFind(key); found != measured.constEnd())
        return *found;
    const QFontMetrics metrics(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    const int averageWidth = (metrics.horizontalAdvance(alphabet) / 26 + 1) / 2;
    const QSize units(averageWidth, metrics.height());
    if (measured.size() >= kMaxFonts)
        measured.clear();
    measured.insert(key, units);
    return units;
}

QRect TemplateDialog::MapDialogRect(const QRect& dialogUnits) const {
    const int cx = m_baseUnits.width();
    const int cy = m_baseUnits.height();
    return {dialogUnits.x() * cx / 4, dialogUnits.y() * cy / 8, dialogUnits.width() * cx / 4,
            dialogUnits.height() * cy / 8};
}

QWidget* TemplateDialog::GetDlgItem(int id) const {
    return m_items.value(id, nullptr);
}

void TemplateDialog::applyWindowStyle(const res::DialogTemplate& dialog) {
    const QSize size = MapDialogRect(QRect(0, 0, dialog.cx, dialog.cy)).size();
    if (has(dialog.style, dialogstyle::Child)) {
        m_isChild = true;
        setWindowFlags(Qt::Widget);
        // A panel covers whatever lies behind it, as a child dialog paints its background.
        setAutoFillBackground(true);
        resize(size);
        return;
    }
    Qt::WindowFlags flags = Qt::Dialog;
    if (has(dialog.style, dialogstyle::Caption)) {
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (has(dialog.style, dialogstyle::SysMenu))
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (has(dialog.style, dialogstyle::ContextHelp)) {
            flags |= Qt::WindowContextHelpButtonHint;
            ContextHelpRouter::Install();
        }
    } else {
        flags |= Qt::FramelessWindowHint;
    }
    setWindowFlags(flags);
    setWindowTitle(QString::fromLatin1(dialog.caption));
    setFixedSize(size);
}

void TemplateDialog::buildControls(const res::DialogTemplate& dialog) {
    QWidget* previousInTabOrder = nullptr;
    std::vector<QWidget*> groupBoxes;
    for (const res::ControlTemplate& control : dialog.controls) {
        QWidget* widget = createControl(control);
        if (control.kind == ControlKind::GroupBox)
            groupBoxes.push_back(widget);
        if (control.kind != ControlKind::Icon)
            widget->setGeometry(MapDialogRect(QRect(control.x, control.y, control.cx, control.cy)));
        if (control.kind == ControlKind::ComboBox) // the template height is the drop-down's
            widget->resize(widget->width(), widget->sizeHint().height());
        if (control.kind == ControlKind::Icon)
            widget->setGeometry(QRect(MapDialogRect(QRect(control.x, control.y, 0, 0)).topLeft(),
                                      QSize(kIconPixels, kIconPixels)));
        widget->setProperty("controlId", control.id);
        if (control.id != res::IDC_STATIC) {
            widget->setObjectName(QStringLiteral("ctl%1").arg(control.id));
            if (!m_items.contains(control.id))
                m_items.insert(control.id, widget);
        }
        if (has(control.style, style::Hidden))
            widget->setVisible(false);
        if (takesFocus(widget) && !has(control.style, style::TabStop))
            widget->setFocusPolicy(Qt::ClickFocus);
        if (takesFocus(widget)) {
            if (previousInTabOrder != nullptr)
                QWidget::setTabOrder(previousInTabOrder, widget);
            previousInTabOrder = widget;
        }
    }
    // A later sibling is drawn on top, so the frames go to the back.
    for (QWidget* groupBox : groupBoxes)
        groupBox->lower();
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);
}

QWidget* TemplateDialog::createControl(const res::ControlTemplate& control) {
    const QString text = QString::fromLatin1(control.text);
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        QPushButton* button = createButton(text, control.kind == ControlKind::DefPushButton, this);
        if (control.id == res::IDOK)
            connect(button, &QPushButton::clicked, this, [this] { OnOK(); });
        return button;
    }
    case ControlKind::Edit:
        return createEdit(control.style, this);
    case ControlKind::Static:
        return createStatic(text, control.style, this);
    case ControlKind::GroupBox:
        return new QGroupBox(text, this);
    case ControlKind::ComboBox:
        return new ComboBox(has(control.style, style::Sorted), this);
    case ControlKind::IpAddress:
        return new CIPAddressCtrl(this);
    case ControlKind::ProgressBar:
        return createProgressBar(this);
    case ControlKind::Icon:
        return createIcon(this);
    }
    return new QWidget(this);
}

void TemplateDialog::buildWindowMenu() {
    m_windowMenu = new QMenu(this);
    addWindowMenuAction(QString(res::text::WindowMenuMove), res::SC_MOVE);
    m_windowMenu->addSeparator();
    addWindowMenuAction(QString(res::text::WindowMenuClose), res::SC_CLOSE);
}

void TemplateDialog::addWindowMenuAction(const QString& text, int commandId) {
    QAction* action = m_windowMenu->addAction(text);
    action->setData(commandId);
    connect(action, &QAction::triggered, this, [this, commandId] { OnSysCommand(commandId); });
}

void TemplateDialog::AppendWindowMenuSeparator() {
    if (m_windowMenu != nullptr)
        m_windowMenu->addSeparator();
}

void TemplateDialog::AppendWindowMenuItem(const QString& text, int commandId) {
    if (m_windowMenu != nullptr)
        addWindowMenuAction(text, commandId);
}

void TemplateDialog::ShowWindowMenu(const QPoint& globalPosition) {
    if (m_windowMenu != nullptr)
        m_windowMenu->popup(globalPosition);
}

void TemplateDialog::OnSysCommand(int commandId) {
    switch (commandId & 0xFFF0) {
    case res::SC_MOVE:
        if (windowHandle() != nullptr)
            windowHandle()->startSystemMove();
        break;
    case res::SC_CLOSE:
        close();
        break;
    case res::SC_CONTEXTHELP:
        WinHelp();
        break;
    default:
        break;
    }
}

void TemplateDialog::WinHelp() {}

void TemplateDialog::OnOK() {
    accept();
}

void TemplateDialog::openWindowMenuOfTopLevel() {
    if (auto* topLevel = qobject_cast<TemplateDialog*>(window()))
        topLevel->ShowWindowMenu(topLevel->mapToGlobal(QPoint(0, 0)));
}

void TemplateDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    const bool altSpace = event->key() == Qt::Key_Space && event->modifiers() == Qt::AltModifier;
    if (altSpace || event->key() == Qt::Key_F1) {
        // A panel leaves these to the dialog around it.
        if (m_isChild) {
            event->ignore();
            return;
        }
        if (altSpace)
            openWindowMenuOfTopLevel();
        else
            WinHelp();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TemplateDialog::closeEvent(QCloseEvent* event) {
    if (!m_closeAllowed) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void TemplateDialog::contextMenuEvent(QContextMenuEvent* event) {
    if (m_isChild) {
        event->ignore();
        return;
    }
    ShowWindowMenu(event->globalPos());
    event->accept();
}

// Escape and Alt+Space never reach a control: an edit field would otherwise take the
// space, and no control may act on Escape.
bool TemplateDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape)
            return true;
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::AltModifier) {
            openWindowMenuOfTopLevel();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace platform
