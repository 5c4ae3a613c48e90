#pragma once

#include <QAbstractFileIconProvider>
#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace lumacore::ui {

// Icons and type names of the file dialogs from the name alone. The desktop's own provider asks the
// MIME database, which reads a file's first bytes when its name says nothing: on /proc/kmsg or a FIFO
// that read never returns, and the dialog (and the program with it) hangs.
class NameOnlyIconProvider final : public QAbstractFileIconProvider {
  public:
    QIcon icon(IconType type) const override;
    QIcon icon(const QFileInfo& info) const override;
    QString type(const QFileInfo& info) const override;
};

// The folder a file dialog opens in: `wanted` (or the folder of the file it names) when it is an
// existing folder on storage; the home folder when it is missing or on a kernel file system, so that a
// dialog never opens among /proc's live files because a last choice was there.
QString SafeStartFolder(const QString& wanted);

// The program's file dialogs: Qt's own (never the platform's, which sniffs file contents), opening in
// SafeStartFolder of `start`, or of the folder of the last choice when `start` is empty, without folders
// of kernel file systems in their history. Empty when cancelled.
QString ChooseExistingFolder(QWidget* parent, const QString& title, const QString& start);
QString ChooseOpenFile(QWidget* parent, const QString& title, const QString& start, const QString& filter);
QStringList ChooseOpenFiles(QWidget* parent, const QString& title, const QString& start,
                            const QString& filter);
QString ChooseSaveFile(QWidget* parent, const QString& title, const QString& suggested, const QString& filter,
                       const QString& defaultSuffix);

// Sets up a dialog made elsewhere the same way (tests and dialogs with extra settings).
void PrepareFileDialog(QFileDialog& dialog, const QString& start);

}  // namespace lumacore::ui
