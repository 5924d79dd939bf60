#pragma once

#include "platform/WinTypes.h"

#include <QFrame>

#include <array>

class QLineEdit;

namespace platform {

// An IPv4 address entry: four fields of 0 to 255 with dots between them, framed as one
// edit control.
// - A blank field reads as 0; GetAddress returns how many fields are not blank.
// - SetWindowText("a.b.c.d") fills the fields (a missing or non-numeric part leaves its
//   field blank, a number above 255 becomes 255); SetWindowText("") clears them.
// - GetWindowText renders "a.b.c.d", a blank field as 0, as the window system's control
//   does once any field holds a value; a control with every field blank gives "".
// - Typing: only digits go in, replacing the field's text when it is selected. The third
//   digit moves to the next field, and a dot typed right after that move is ignored; any
//   other dot in a field that holds digits moves to the next field. Moving into a field
//   (by a dot, by the third digit, by Tab, with its window) selects its text, so typing
//   replaces it. Spaces
//   are ignored. A number above 255 is refused with a message and the field is set to 255.
//   Backspace at a field's start and the arrow keys at a field's edge move to the neighbour.
// - A dotted address pasted (Ctrl+V, Shift+Insert, the field's menu) or arriving in one key
//   event fills all four fields, spaces dropped.
class CIPAddressCtrl : public QFrame {
    Q_OBJECT

public:
    static constexpr int kFieldCount = 4;

    explicit CIPAddressCtrl(QWidget* parent = nullptr);

    int GetAddress(BYTE& field0, BYTE& field1, BYTE& field2, BYTE& field3) const;
    bool IsBlank() const;

    void SetWindowText(const QString& text);
    QString GetWindowText() const;

    // Focus to the first field, or to the given one, with its text selected.
    void SetFocus() { SetFieldFocus(0); }
    void SetFieldFocus(int field);

    QLineEdit* field(int index) const;

signals:
    // Any field's text changed, by typing or by the program.
    void addressChanged();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int fieldIndex(QObject* object) const;
    void onFieldEdited(int index);
    bool handleFieldKey(int index, const QKeyEvent& key);
    bool takeDottedAddress(const QString& text);
    void showFieldMenu(int index, const QPoint& position);
    void setField(int index, const QString& text);

    std::array<QLineEdit*, kFieldCount> m_fields{};
    bool m_dotAfterAutoMove = false;
};

} // namespace platform
