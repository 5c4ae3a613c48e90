#include "ui/dialogs/help_window.h"

#include <QScrollBar>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "ui/shell.h"
#include "ui/skin/skin.h"

namespace lumacore::ui {

QPointer<CHelpWindow> CHelpWindow::current_;

namespace {

constexpr int kHelpWidth = 760, kHelpHeight = 560;

}  // namespace

CHelpWindow::CHelpWindow(QWidget* owner) : QWidget(owner ? owner->window() : nullptr, Qt::Window) {
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("%1 - User Guide").arg(QLatin1String(kProductTitle)));
    setWindowIcon(skin::PictureIcon(QStringLiteral("logo")));
    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("HelpBrowser"));
    // Links inside the guide stay here; a web address goes to the desktop, only when clicked.
    browser_->setOpenExternalLinks(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(kHelpWidth, kHelpHeight);
}

CHelpWindow* CHelpWindow::Current() {
    return current_.data();
}

CHelpWindow* CHelpWindow::Open(QWidget* owner, const QString& path, const QString& section) {
    if (!current_) current_ = new CHelpWindow(owner);
    current_->Show(path, section);
    return current_.data();
}

void CHelpWindow::Show(const QString& path, const QString& section) {
    QUrl url = QUrl::fromLocalFile(path);
    if (!section.isEmpty()) url.setFragment(section);
    const bool sameDocument =
        browser_->source().adjusted(QUrl::RemoveFragment) == url.adjusted(QUrl::RemoveFragment);
    browser_->setSource(url);
    // The same document is not loaded again: it is only moved to the section (or its top).
    if (sameDocument) {
        if (section.isEmpty()) {
            browser_->verticalScrollBar()->setValue(0);
        } else {
            browser_->scrollToAnchor(section);
        }
    }
    show();
    raise();
    activateWindow();
}

}  // namespace lumacore::ui
