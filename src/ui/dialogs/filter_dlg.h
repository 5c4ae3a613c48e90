#pragma once

#include <QDialog>

#include "core/filter_settings.h"

class QComboBox;
class QDateEdit;
class QLabel;
class QLineEdit;
class QDialogButtonBox;

namespace lumacore {
class RecoverySettings;
}

namespace lumacore::ui {

// "Set Filter Options...": edits a FilterSettings (file type, date, size, name). OK writes every field
// back into the edited settings; Cancel writes nothing.
class CFilterDlg final : public QDialog {
    Q_OBJECT
public:
    // Edits `target`, starting from `shown` (usually the same values).
    CFilterDlg(FilterSettings& target, const FilterSettings& shown, QWidget* parent);
    CFilterDlg(FilterSettings& target, QWidget* parent) : CFilterDlg(target, target, parent) {}

    // The drive page's Option button, before a scan: the application's category, date test and size
    // test are switched off (date back to today) as the dialog opens; the dialog shows the values held
    // before that, and OK writes them back. So Cancel leaves only the extension list and the name text.
    static int EditBeforeScan(QWidget* parent, RecoverySettings& settings);
    // A result page's Filter button: edits the page's own copy.
    static int EditPageCopy(QWidget* parent, FilterSettings& pageCopy);

    // The working values as the controls have set them so far.
    const FilterSettings& values() const { return values_; }

    QComboBox* extensionCombo() const { return extension_; }
    QComboBox* dateCombo() const { return dateMode_; }
    QDateEdit* datePicker() const { return date_; }
    QComboBox* sizeCombo() const { return sizeMode_; }
    QLineEdit* sizeEdit1() const { return size1_; }
    QLabel* sizeDash() const { return dash_; }
    QLineEdit* sizeEdit2() const { return size2_; }
    QLineEdit* nameEdit() const { return name_; }
    QDialogButtonBox* buttons() const { return buttons_; }

    void accept() override;

private:
    void OnExtensionChanged(int index);
    void OnDateModeChanged(int index);
    void OnSizeModeChanged(int index);
    void ShowDateAndSizeControls();
    double ReadSize(const QLineEdit* edit) const;

    FilterSettings& target_;
    FilterSettings values_;
    QComboBox* extension_ = nullptr;
    QComboBox* dateMode_ = nullptr;
    QDateEdit* date_ = nullptr;
    QComboBox* sizeMode_ = nullptr;
    QLineEdit* size1_ = nullptr;
    QLabel* dash_ = nullptr;
    QLineEdit* size2_ = nullptr;
    QLineEdit* name_ = nullptr;
    QDialogButtonBox* buttons_ = nullptr;
};

}  // namespace lumacore::ui
