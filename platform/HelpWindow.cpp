#include "HelpWindow.h"

#include "res/Texts.h"

#include <QDir>
#include <QFileInfo>
#include <QTextDocument>
#include <QUrl>

namespace platform {

namespace {
constexpr QSize kDefaultSize(640, 480);
}

HelpWindow::HelpWindow(QWidget* parent) : QTextBrowser(parent) {
    setWindowFlags(Qt::Window);
    setOpenExternalLinks(false);
    setOpenLinks(true);
    resize(kDefaultSize);
}

bool HelpWindow::OpenFile(const QString& chmPath) {
    m_path = chmPath;
    setWindowTitle(QFileInfo(chmPath).fileName());
    if (!m_chm.Open(chmPath)) {
        showNotice(QString::asprintf(res::text::HelpFileCannotOpenFormat.data(),
                                     qPrintable(QDir::toNativeSeparators(chmPath))));
        return false;
    }
    if (!m_chm.Title().isEmpty())
        setWindowTitle(m_chm.Title());
    const QString topic =
        m_chm.DefaultTopic().isEmpty() ? QStringLiteral("/index.html") : m_chm.DefaultTopic();
    return ShowTopic(topic);
}

bool HelpWindow::ShowTopic(const QString& topic) {
    const QString path = ChmFile::NormalizePath(topic);
    if (!m_chm.Contains(path)) {
        showNotice(QString::asprintf(res::text::HelpPageNotFoundFormat.data(), qPrintable(path)));
        return false;
    }
    setSource(QUrl(path));
    return true;
}

QString HelpWindow::currentTopic() const {
    return source().path();
}

void HelpWindow::showNotice(const QString& text) {
    clear();
    setPlainText(text);
}

// Links between pages are relative, and so is every page's own address, so a link may
// reach here unresolved: it is taken relative to the folder of the page shown.
QString HelpWindow::resolveTopic(const QUrl& name) const {
    const QString path = name.path();
    if (path.startsWith(QLatin1Char('/')))
        return path;
    const QString current = source().path();
    const QString folder = current.left(current.lastIndexOf(QLatin1Char('/')) + 1);
    return QUrl(folder.isEmpty() ? QStringLiteral("/") : folder).resolved(QUrl(path)).path();
}

// Pages are kept by their full path inside the file, so that the page shown is always
// known and the next relative link resolves against it.
void HelpWindow::doSetSource(const QUrl& name, QTextDocument::ResourceType type) {
    QUrl resolved = name;
    if (name.scheme().isEmpty() && !name.path().isEmpty())
        resolved.setPath(resolveTopic(name));
    QTextBrowser::doSetSource(resolved, type);
}

QVariant HelpWindow::loadResource(int type, const QUrl& name) {
    if (!name.scheme().isEmpty() || !m_chm.IsOpen())
        return {};
    QByteArray data;
    const QString topic = resolveTopic(name);
    if (!m_chm.Read(topic, data)) {
        if (type == QTextDocument::HtmlResource)
            return QString::asprintf(res::text::HelpPageNotFoundFormat.data(), qPrintable(topic))
                .toHtmlEscaped();
        return {};
    }
    if (type == QTextDocument::HtmlResource || type == QTextDocument::StyleSheetResource)
        return QString::fromUtf8(data);
    return data;
}

} // namespace platform
