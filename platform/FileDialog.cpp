#include "FileDialog.h"

#include <QFileDialog>
#include <QFileInfo>

namespace platform {

namespace {
OpenFileAnswer& installedAnswer() {
    static OpenFileAnswer answer;
    return answer;
}

QString WithDefaultExtension(const QString& path, const QString& defaultExtension) {
    if (defaultExtension.isEmpty() || !QFileInfo(path).suffix().isEmpty() ||
        QFileInfo::exists(path))
        return path;
    return path + QLatin1Char('.') + defaultExtension;
}
} // namespace

OpenFileAnswer SetOpenFileAnswer(OpenFileAnswer answer) {
    OpenFileAnswer previous = std::move(installedAnswer());
    installedAnswer() = std::move(answer);
    return previous;
}

std::optional<QString> GetOpenFileName(QWidget* owner, const QString& title,
                                       const QString& defaultExtension) {
    if (installedAnswer())
        return installedAnswer()(title, defaultExtension);
    QFileDialog dialog(owner, title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(defaultExtension);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return WithDefaultExtension(dialog.selectedFiles().constFirst(), defaultExtension);
}

} // namespace platform
