#include "ui/pages/repair_selection_page.h"

#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTreeWidget>

#include "core/recovery_settings.h"
#include "platform/output_guard.h"
#include "ui/dialogs/file_chooser.h"
#include "ui/shell.h"
#include "ui/skin/skin.h"
#include "ui/skin/skin_button.h"
#include "ui/widgets/card.h"

namespace lumacore::ui {

namespace {

const QRect kCard(20, 84, 745, 288);

}  // namespace

QString CRepairSelectionPage::DefaultOutputFolder() {
    // The desktop's documents folder (XDG_DOCUMENTS_DIR), ~/Documents when it names none.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty()) folder = QDir::home().filePath(QStringLiteral("Documents"));
    QDir().mkpath(folder);
    return QDir::toNativeSeparators(folder);
}

CRepairSelectionPage::CRepairSelectionPage(const FileKind& fileKind, const PageContext& context,
                                           QWidget* parent)
    : CPage(context, parent), fileKind_(fileKind), kind_(fileKind.kind) {
    SetHeading(QStringLiteral("Mail Repair"), QString::fromUtf8(fileKind.heading));

    auto* card = new CCard(kCard, this);
    auto* filesLabel =
        new QLabel(QStringLiteral("Files to repair (they are only read; repaired copies go to the "
                                  "output folder):"),
                   card);
    filesLabel->setGeometry(16, 10, 580, 20);
    files_ = new QTreeWidget(card);
    files_->setObjectName(QStringLiteral("RepairFiles"));
    files_->setGeometry(16, 32, 580, 176);
    card->Anchor(files_, Follow::Width | Follow::Height);
    Anchor(card, Follow::Width | Follow::Height);
    files_->setColumnCount(2);
    files_->setHeaderLabels({QStringLiteral("File"), QStringLiteral("Folder")});
    files_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    files_->header()->setStretchLastSection(false);
    files_->setRootIsDecorated(false);
    files_->setSelectionBehavior(QAbstractItemView::SelectRows);
    files_->setSelectionMode(QAbstractItemView::SingleSelection);
    files_->setUniformRowHeights(true);

    auto* outputLabel = new QLabel(QStringLiteral("Output folder:"), card);
    outputLabel->setGeometry(16, 218, 580, 20);
    card->Anchor(outputLabel, Follow::Bottom);
    output_ = new QLineEdit(card);
    output_->setObjectName(QStringLiteral("OutputFolder"));
    output_->setPlaceholderText(QStringLiteral("Type a folder, or choose one with Browse..."));
    output_->setGeometry(16, 240, 580, 30);
    card->Anchor(output_, Follow::Width | Follow::Bottom);

    // The window texts are the controls' names; the labels say what they do.
    const auto button = [this](const char* windowText, const char* label, const char* glyph,
                               const QRect& rect) {
        const skin::ButtonLook look{
            skin::ButtonStyle::Secondary, QString::fromLatin1(label), {}, QString::fromLatin1(glyph)};
        return new CSkinButton(QString::fromLatin1(windowText), look, rect, 0, this);
    };
    add_ = button("Property", "Add Files...", "add", QRect(kCard.left() + 612, kCard.top() + 32, 120, 34));
    remove_ = button("Cancel", "Remove", "back", QRect(kCard.left() + 612, kCard.top() + 74, 120, 34));
    folder_ = button("Browse", "Browse...", "option", QRect(kCard.left() + 612, kCard.top() + 238, 120, 34));
    properties_ = button("Properties", "Properties", "option", QRect(128, 386, 120, 36));
    Anchor(add_, Follow::Right);
    Anchor(remove_, Follow::Right);
    Anchor(folder_, Follow::Right | Follow::Bottom);
    Anchor(properties_, Follow::Bottom);
    // It has nothing to show for mail files.
    properties_->setEnabled(false);
    back_ = AddCommandButton(QStringLiteral("Back"), QStringLiteral("back"), QRect(20, 386, 100, 36));
    next_ = AddCommandButton(QStringLiteral("Next"), QStringLiteral("next"), QRect(661, 386, 104, 36), true);

    connect(add_, &QAbstractButton::clicked, this, &CRepairSelectionPage::OnAddFiles);
    connect(remove_, &QAbstractButton::clicked, this, &CRepairSelectionPage::RemoveSelectedFile);
    connect(folder_, &QAbstractButton::clicked, this, &CRepairSelectionPage::OnChooseFolder);
    connect(next_, &QAbstractButton::clicked, this, &CRepairSelectionPage::OnNext);
    connect(back_, &QAbstractButton::clicked, this, [this] { LeavePage(PAGE_HOME, 1); });
    // Home leaves with no files chosen, as Back does (the header button navigates by itself).
    connect(homeButton(), &QAbstractButton::clicked, this,
            [this] { app().recoverySettings().RepairFiles.clear(); });

    RecoverySettings& settings = app().recoverySettings();
    QStringList chosen;
    for (const std::string& path : settings.RepairFiles) chosen << QString::fromStdString(path);
    AddFiles(chosen);
    output_->setText(settings.RepairOutputFolder.empty()
                         ? DefaultOutputFolder()
                         : QString::fromStdString(settings.RepairOutputFolder));
}

void CRepairSelectionPage::AddFiles(const QStringList& paths) {
    for (const QString& path : paths) {
        const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
        auto* item =
            new QTreeWidgetItem(files_, {path.mid(slash + 1), slash < 0 ? QString() : path.left(slash)});
        item->setToolTip(0, path);
        item->setToolTip(1, path);
    }
    next_->setEnabled(files_->topLevelItemCount() > 0);
}

void CRepairSelectionPage::RemoveSelectedFile() {
    const QList<QTreeWidgetItem*> selected = files_->selectedItems();
    if (!selected.isEmpty()) delete selected.front();
    next_->setEnabled(files_->topLevelItemCount() > 0);
}

void CRepairSelectionPage::SetOutputFolder(const QString& folder) {
    output_->setText(folder);
}

void CRepairSelectionPage::OnAddFiles() {
    const QStringList paths = ChooseOpenFiles(this, QStringLiteral("Choose Files to Repair"), QString(),
                                              QString::fromLatin1(fileKind_.dialogFilter));
    AddFiles(paths);
}

void CRepairSelectionPage::OnChooseFolder() {
    const QString folder = ChooseExistingFolder(this, QStringLiteral("Current folder is:"), output_->text());
    if (!folder.isEmpty()) SetOutputFolder(folder);
}

void CRepairSelectionPage::OnNext() {
    if (files_->topLevelItemCount() == 0) return;
    // Refused here, before any file is opened: a folder on a kernel file system such as /proc, or a
    // read-only one. (A folder that does not exist yet is the repair's to report.)
    const QString output = output_->text().trimmed();
    if (QFileInfo(output).isDir()) {
        if (auto writable = CheckWritableFileSystem(std::filesystem::path(output.toStdString())); !writable) {
            ShowMessage(this, QString::fromLatin1(kProductTitle),
                        QString::fromStdString(writable.error().message), MessageIcon::Warning);
            return;
        }
    }
    RecoverySettings& settings = app().recoverySettings();
    settings.RepairKind = kind_;
    settings.RepairOutputFolder = output.toStdString();
    settings.RepairFiles.clear();
    for (int i = 0; i < files_->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = files_->topLevelItem(i);
        settings.RepairFiles.push_back((item->text(1) + QLatin1Char('/') + item->text(0)).toStdString());
    }
    host().PostNavigate(PAGE_REPAIR_LOG, kRepairLogMode);
}

void CRepairSelectionPage::LeavePage(int pageKind, int mode) {
    app().recoverySettings().RepairFiles.clear();
    host().PostNavigate(pageKind, mode);
}

CDbxSelectionPage::CDbxSelectionPage(const PageContext& context, QWidget* parent)
    : CRepairSelectionPage({kRepairMailFolder, "Email Repair  \u2022  Outlook Express folder files (.dbx)",
                            "Outlook Express files (*.dbx)"},
                           context, parent) {
    setObjectName(QStringLiteral("DbxSelectionPage"));
}

CPstSelectionPage::CPstSelectionPage(const PageContext& context, QWidget* parent)
    : CRepairSelectionPage(
          {kRepairPersonalFolder, "File Repair  \u2022  Outlook personal folder files (.pst)",
           "Outlook files (*.pst)"},
          context, parent) {
    setObjectName(QStringLiteral("PstSelectionPage"));
}

}  // namespace lumacore::ui
