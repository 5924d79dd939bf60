#pragma once

#include <QString>

class QWidget;

namespace platform {

class HelpWindow;

// Opens a compiled help file at its default topic in the program's help window: a window of
// its own, placed beside `owner` and closed when `owner` goes, that stays usable while
// `owner` is disabled or modal. One help window serves the whole program: a second call brings it
// forward with the file asked for. The window itself tells when the file cannot be opened;
// nothing else is shown.
HelpWindow* HtmlHelp(QWidget* owner, const QString& path);

} // namespace platform
