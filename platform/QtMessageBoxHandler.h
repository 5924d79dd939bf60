#pragma once

namespace platform {

// Makes platform::ShowMessageBox show real boxes: a QMessageBox with the request's icon,
// caption and an OK button, shown on the GUI thread and owned by the active window (boxes
// captioned with the system "Error" text have no owner). Called from another thread, the
// caller waits until the box is closed. Returns nothing; the handler replaced is dropped.
void InstallQtMessageBoxHandler();

} // namespace platform
