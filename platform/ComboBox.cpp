#include "ComboBox.h"

namespace platform {

ComboBox::ComboBox(bool sorted, QWidget* parent) : QComboBox(parent), m_sorted(sorted) {}

int ComboBox::AddString(const QString& text, const QVariant& data) {
    int index = count();
    if (m_sorted) {
        index = 0;
        while (index < count() && itemText(index).compare(text, Qt::CaseInsensitive) <= 0)
            ++index;
    }
    insertItem(index, text, data);
    return index;
}

} // namespace platform
