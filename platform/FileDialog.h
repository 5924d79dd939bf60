#pragma once

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace platform {

// The open-file dialog: lists every file (no filter), accepts existing files only, adds
// `defaultExtension` to a name typed without one. Returns the chosen path, or nothing when
// the operator cancels.
std::optional<QString> GetOpenFileName(QWidget* owner, const QString& title,
                                       const QString& defaultExtension);

// Tests answer the dialog in advance: the handler receives the request's title and default
// extension and returns what the operator "chose". Returns the handler installed before.
using OpenFileAnswer =
    std::function<std::optional<QString>(const QString& title, const QString& defaultExtension)>;
OpenFileAnswer SetOpenFileAnswer(OpenFileAnswer answer);

} // namespace platform
