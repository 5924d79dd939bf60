#pragma once

#include <QDialog>
#include <QHash>
#include <QSize>

class QMenu;

namespace res {
struct ControlTemplate;
struct DialogTemplate;
} // namespace res

namespace platform {

// A dialog built from one of the program's dialog templates (res/DialogTemplates.h).
// Positions and sizes convert from dialog units with the dialog font's metrics, so the
// window scales with the font. Every control carries its id as the property "controlId"
// and the object name "ctl<id>" (labels without id get no name).
//
// Behaviour shared by every dialog of the program:
// - Escape never closes it, neither in the dialog nor in any of its controls; Enter is left
//   to the default button.
// - Alt+Space or a right-click on the background opens the window menu; choosing an entry
//   calls OnSysCommand with its command id.
// - F1 calls WinHelp; the caption's help button sends the context-help command to the active
//   dialog at once (the toolkit's pointer mode for context help is never entered).
// - The IDOK button calls OnOK (accept); the close box rejects, unless closing is refused.
// A template with the child style makes a panel: a plain child widget of `parent`, which
// passes F1, Alt+Space and right-clicks on to the dialog around it.
class TemplateDialog : public QDialog {
    Q_OBJECT

public:
    explicit TemplateDialog(int templateId, QWidget* parent = nullptr);
    ~TemplateDialog() override;

    int templateId() const { return m_templateId; }

    // The control with that id, or nullptr.
    QWidget* GetDlgItem(int id) const;
    template <class T> T* item(int id) const { return qobject_cast<T*>(GetDlgItem(id)); }

    // Dialog units to pixels for this dialog's font.
    QRect MapDialogRect(const QRect& dialogUnits) const;

    void AppendWindowMenuSeparator();
    void AppendWindowMenuItem(const QString& text, int commandId);
    QMenu* windowMenu() const { return m_windowMenu; }
    void ShowWindowMenu(const QPoint& globalPosition);

    // A dialog that may not be closed ignores the close box, the window menu's Close and
    // every other close request; the program hides or deletes it itself.
    void SetCloseAllowed(bool allowed) { m_closeAllowed = allowed; }

    // The font a template's dialog uses: the application font at the template's size.
    static QFont DialogFont(int pointSize);
    static QSize BaseUnitsFor(const QFont& font);

protected:
    // A window-menu command; the low four bits are the window system's and are ignored.
    // Handles move, close and the context-help command; anything else does nothing.
    virtual void OnSysCommand(int commandId);
    // A help request (F1, the caption's help command). Does nothing here.
    virtual void WinHelp();
    // The IDOK button.
    virtual void OnOK();

    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class ContextHelpRouter;

    void applyWindowStyle(const res::DialogTemplate& dialog);
    void buildControls(const res::DialogTemplate& dialog);
    QWidget* createControl(const res::ControlTemplate& control);
    void buildWindowMenu();
    void addWindowMenuAction(const QString& text, int commandId);
    void openWindowMenuOfTopLevel();

    int m_templateId;
    bool m_isChild = false;
    QSize m_baseUnits;
    QHash<int, QWidget*> m_items;
    QMenu* m_windowMenu = nullptr;
    bool m_closeAllowed = true;
};

} // namespace platform
