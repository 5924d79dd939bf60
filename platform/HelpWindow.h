#pragma once

#include "platform/ChmFile.h"

#include <QTextBrowser>

namespace platform {

// The help viewer: shows the pages of a compiled help file, with their images and style
// sheets read out of the file, and follows the links between them. A file that cannot be
// opened, or a page it does not hold, is told in the window itself.
class HelpWindow : public QTextBrowser {
    Q_OBJECT

public:
    explicit HelpWindow(QWidget* parent = nullptr);

    // Opens the file and shows its default topic (the first page when it names none).
    bool OpenFile(const QString& chmPath);
    bool ShowTopic(const QString& topic);

    QString filePath() const { return m_path; }
    // The page shown, as "/page.html".
    QString currentTopic() const;

protected:
    QVariant loadResource(int type, const QUrl& name) override;
    void doSetSource(const QUrl& name, QTextDocument::ResourceType type) override;

private:
    QString resolveTopic(const QUrl& name) const;
    void showNotice(const QString& text);

    ChmFile m_chm;
    QString m_path;
};

} // namespace platform
