#pragma once

#include <QComboBox>

namespace platform {

// A drop-down list that, when sorted, keeps its items in order as they are added, as a
// sorted list of the window system does: AddString inserts at the item's place (case is
// ignored; an equal item goes after the ones already there) and returns its index. Qt's own
// addItem/insertItem still insert where they are told.
class ComboBox : public QComboBox {
    Q_OBJECT

public:
    explicit ComboBox(bool sorted, QWidget* parent = nullptr);

    int AddString(const QString& text, const QVariant& data = {});
    int GetCurSel() const { return currentIndex(); }
    void SetCurSel(int index) { setCurrentIndex(index); }
    QVariant GetItemData(int index) const { return itemData(index); }
    void ResetContent() { clear(); }

private:
    bool m_sorted;
};

} // namespace platform
