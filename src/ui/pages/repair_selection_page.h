#pragma once

#include <QString>
#include <QStringList>

#include "repair/mail_repair.h"
#include "ui/pages/page.h"

class QLineEdit;
class QTreeWidget;

namespace lumacore::ui {

// The file selection page of the mail-store repair: the chosen files (file name and folder), the output
// folder, and Next to the repair log. One class per file kind; they differ only in the kind and the
// file dialog's filter.
class CRepairSelectionPage : public CPage {
    Q_OBJECT
  public:
    QString helpSection() const override { return QStringLiteral("repair"); }
    // The user's documents folder, created when it is missing: the output folder until one is chosen.
    static QString DefaultOutputFolder();

    MailRepairKind kind() const { return kind_; }
    QTreeWidget* fileList() const { return files_; }
    QLineEdit* outputEdit() const { return output_; }
    CSkinButton* propertiesButton() const { return properties_; }
    CSkinButton* addButton() const { return add_; }
    CSkinButton* removeButton() const { return remove_; }
    CSkinButton* folderButton() const { return folder_; }
    CSkinButton* backButton() const { return back_; }
    CSkinButton* nextButton() const { return next_; }

    // What the buttons do after their dialogs (the tests call them directly).
    void AddFiles(const QStringList& paths);
    void RemoveSelectedFile();
    void SetOutputFolder(const QString& folder);
    void OnNext();

  protected:
    struct FileKind {
        MailRepairKind kind;
        const char* heading;
        const char* dialogFilter;  // "Outlook Express files (*.dbx)" and the like
    };
    CRepairSelectionPage(const FileKind& fileKind, const PageContext& context, QWidget* parent);

  private:
    void OnAddFiles();
    void OnChooseFolder();
    void LeavePage(int pageKind, int mode);

    FileKind fileKind_;
    MailRepairKind kind_;
    QTreeWidget* files_ = nullptr;
    QLineEdit* output_ = nullptr;
    CSkinButton* properties_ = nullptr;
    CSkinButton* add_ = nullptr;
    CSkinButton* remove_ = nullptr;
    CSkinButton* folder_ = nullptr;
    CSkinButton* back_ = nullptr;
    CSkinButton* next_ = nullptr;
};

// Outlook Express folder files (.dbx).
class CDbxSelectionPage final : public CRepairSelectionPage {
    Q_OBJECT
  public:
    CDbxSelectionPage(const PageContext& context, QWidget* parent);
};

// Outlook personal folder files (.pst).
class CPstSelectionPage final : public CRepairSelectionPage {
    Q_OBJECT
  public:
    CPstSelectionPage(const PageContext& context, QWidget* parent);
};

}  // namespace lumacore::ui
