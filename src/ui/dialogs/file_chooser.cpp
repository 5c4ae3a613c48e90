#include "ui/dialogs/file_chooser.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>

#include "platform/output_guard.h"

namespace lumacore::ui {

namespace {

// Whether a folder is on a file system that holds files (not a kernel interface).
bool OnStorage(const QString& folder) {
    return static_cast<bool>(
        CheckStorageFileSystem(std::filesystem::path(QFile::encodeName(folder).toStdString())));
}

// The folder of the last choice in any of the dialogs, for the next dialog opened without a start.
QString& LastFolder() {
    static QString folder;
    return folder;
}

void Remember(const QString& chosen, bool isFolder) {
    if (!chosen.isEmpty()) LastFolder() = isFolder ? chosen : QFileInfo(chosen).absolutePath();
}

}  // namespace

QIcon NameOnlyIconProvider::icon(IconType type) const {
    QStyle* style = QApplication::style();
    switch (type) {
        case Computer:
            return style->standardIcon(QStyle::SP_ComputerIcon);
        case Drive:
            return style->standardIcon(QStyle::SP_DriveHDIcon);
        case Folder:
            return style->standardIcon(QStyle::SP_DirIcon);
        case Trashcan:
            return style->standardIcon(QStyle::SP_TrashIcon);
        case Network:
            return style->standardIcon(QStyle::SP_DriveNetIcon);
        case Desktop:
            return style->standardIcon(QStyle::SP_DesktopIcon);
        case File:
            break;
    }
    return style->standardIcon(QStyle::SP_FileIcon);
}

QIcon NameOnlyIconProvider::icon(const QFileInfo& info) const {
    if (info.isRoot()) return icon(Drive);
    return icon(info.isDir() ? Folder : File);
}

QString NameOnlyIconProvider::type(const QFileInfo& info) const {
    if (info.isRoot()) return QStringLiteral("Drive");
    if (info.isDir()) return QStringLiteral("Folder");
    if (info.isSymLink()) return QStringLiteral("Link");
    // By extension only: matching by content is what reads the file.
    const QMimeType mime = QMimeDatabase().mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    if (!mime.isDefault() && !mime.comment().isEmpty()) return mime.comment();
    return info.suffix().isEmpty() ? QStringLiteral("File")
                                   : QStringLiteral("%1 File").arg(info.suffix().toUpper());
}

QString SafeStartFolder(const QString& wanted) {
    if (!wanted.isEmpty()) {
        const QFileInfo info(wanted);
        const QString folder = info.isDir() ? info.absoluteFilePath() : info.absolutePath();
        if (QFileInfo(folder).isDir() && OnStorage(folder)) return folder;
    }
    return QDir::homePath();
}

void PrepareFileDialog(QFileDialog& dialog, const QString& start) {
    static NameOnlyIconProvider provider;
    dialog.setOptions(dialog.options() | QFileDialog::DontUseNativeDialog |
                      QFileDialog::DontUseCustomDirectoryIcons);
    dialog.setIconProvider(&provider);
    QStringList history;
    for (const QString& folder : dialog.history()) {
        if (OnStorage(folder)) history.append(folder);
    }
    dialog.setHistory(history);
    dialog.setDirectory(SafeStartFolder(start.isEmpty() ? LastFolder() : start));
}

QString ChooseExistingFolder(QWidget* parent, const QString& title, const QString& start) {
    QFileDialog dialog(parent, title);
    PrepareFileDialog(dialog, start);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly, true);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    Remember(dialog.selectedFiles().front(), true);
    return dialog.selectedFiles().front();
}

static QStringList OpenFiles(QWidget* parent, const QString& title, const QString& start,
                             const QString& filter, QFileDialog::FileMode mode) {
    QFileDialog dialog(parent, title, QString(), filter);
    PrepareFileDialog(dialog, start);
    dialog.setFileMode(mode);
    if (dialog.exec() != QDialog::Accepted) return {};
    if (!dialog.selectedFiles().isEmpty()) Remember(dialog.selectedFiles().front(), false);
    return dialog.selectedFiles();
}

QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& start, const QString& filter) {
    const QStringList files = OpenFiles(parent, title, start, filter, QFileDialog::ExistingFile);
    return files.isEmpty() ? QString() : files.front();
}

QStringList ChooseOpenFiles(QWidget* parent, const QString& title, const QString& start,
                            const QString& filter) {
    return OpenFiles(parent, title, start, filter, QFileDialog::ExistingFiles);
}

QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& suggested, const QString& filter,
                       const QString& defaultSuffix) {
    QFileDialog dialog(parent, title, QString(), filter);
    PrepareFileDialog(dialog, suggested);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(defaultSuffix);
    if (!suggested.isEmpty()) dialog.selectFile(QFileInfo(suggested).fileName());
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    Remember(dialog.selectedFiles().front(), false);
    return dialog.selectedFiles().front();
}

}  // namespace lumacore::ui
