#include "ui/shell.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>

#include "ui/dialogs/help_window.h"
#include "ui/skin/skin.h"

#ifndef LUMACORE_VERSION
#define LUMACORE_VERSION "0"
#endif

namespace lumacore::ui {

namespace {

MessageObserver& Observer() {
    static MessageObserver observer;
    return observer;
}

QuestionObserver& Answerer() {
    static QuestionObserver observer;
    return observer;
}

std::function<bool()>& RestartHandler() {
    static std::function<bool()> handler;
    return handler;
}

constexpr const char* kHelpFileName = "lumacore-user-guide.html";

}  // namespace

void ShowMessage(QWidget* parent, const QString& text) {
    ShowMessage(parent, QString::fromLatin1(kApplicationName), text, MessageIcon::Warning);
}

void ShowMessage(QWidget* parent, const QString& caption, const QString& text, MessageIcon icon) {
    if (Observer()) {
        Observer()(caption, text);
        return;
    }
    const QMessageBox::Icon boxIcon = icon == MessageIcon::Information ? QMessageBox::Information
                                      : icon == MessageIcon::Warning   ? QMessageBox::Warning
                                      : icon == MessageIcon::Critical  ? QMessageBox::Critical
                                                                       : QMessageBox::NoIcon;
    QMessageBox box(boxIcon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

void SetMessageObserver(MessageObserver observer) {
    Observer() = std::move(observer);
}

bool MessagesObserved() {
    return static_cast<bool>(Observer());
}

bool QuestionsObserved() {
    return static_cast<bool>(Answerer()) || static_cast<bool>(Observer());
}

void ShowMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption, const QString& text) {
    if (Observer()) {
        Observer()(caption, text);
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

QMessageBox::StandardButton Ask(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                                const QString& text, QMessageBox::StandardButtons buttons) {
    if (Answerer()) return Answerer()(caption, text);
    if (Observer()) {
        Observer()(caption, text);
        return buttons.testFlag(QMessageBox::Cancel) ? QMessageBox::Cancel : QMessageBox::No;
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void SetQuestionObserver(QuestionObserver observer) {
    Answerer() = std::move(observer);
}

bool RequestSystemRestart() {
    if (RestartHandler()) return RestartHandler()();
    // logind decides (and asks for authentication where its policy says so).
    return QProcess::execute(QStringLiteral("systemctl"), {QStringLiteral("reboot")}) == 0;
}

void SetRestartHandler(std::function<bool()> handler) {
    RestartHandler() = std::move(handler);
}

QString HelpDocumentPath() {
    const QDir programDir(QCoreApplication::applicationDirPath());
    const QStringList candidates = {
        programDir.filePath(QStringLiteral("help/%1").arg(QLatin1String(kHelpFileName))),
        programDir.filePath(QStringLiteral("../share/lumacore/help/%1").arg(QLatin1String(kHelpFileName))),
    };
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate)) return QFileInfo(candidate).canonicalFilePath();
    }
    return {};
}

void OpenHelpDocument(QWidget* parent, const QString& section) {
    const QString path = HelpDocumentPath();
    // A help button that silently does nothing leaves the user guessing; say what is missing instead.
    if (path.isEmpty()) {
        ShowMessage(parent, QStringLiteral("The user guide (%1) could not be found beside the program.")
                                .arg(QLatin1String(kHelpFileName)));
        return;
    }
    CHelpWindow::Open(parent, path, section);
}

QString AboutText() {
    return QStringLiteral(
               "<p style='font-size:15px'><b>%1</b><br>Version %2</p>"
               "<p>Finds deleted files on FAT, NTFS and EXT2/EXT3 volumes, recovers files after a quick "
               "format, carves files by their signatures and brings back lost partitions.</p>"
               "<p>Disks and disk images are only read while you search.</p>"
               "<p><a href='%3'>%3</a></p>")
        .arg(QLatin1String(kProductTitle), QLatin1String(LUMACORE_VERSION), QLatin1String(kProjectPage));
}

std::unique_ptr<QMessageBox> MakeAboutBox(QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setObjectName(QStringLiteral("AboutBox"));
    box->setWindowTitle(QStringLiteral("About %1").arg(QLatin1String(kProductTitle)));
    box->setIconPixmap(skin::Picture(QStringLiteral("logo"), QSize(64, 64), box->devicePixelRatioF()));
    box->setTextFormat(Qt::RichText);
    box->setTextInteractionFlags(Qt::TextBrowserInteraction);
    box->setText(AboutText());
    box->setStandardButtons(QMessageBox::Ok);
    return box;
}

void ShowAboutBox(QWidget* parent) {
    if (Observer()) {
        Observer()(QStringLiteral("About %1").arg(QLatin1String(kProductTitle)), AboutText());
        return;
    }
    MakeAboutBox(parent)->exec();
}

}  // namespace lumacore::ui
