#pragma once

#include <QString>
#include <memory>
#include <optional>
#include <string_view>

#include "ui/pages/page.h"

namespace lumacore {
class RawTypeSelection;
class RecoverySettings;
}  // namespace lumacore

namespace lumacore::ui {

// The pages that open after the drive page (or straight from the home page in the lost-partition mode).
enum class ResultPageKind {
    Fat16,  // FAT page, FAT16 variant (1)
    Fat32,  // FAT page, FAT32 variant (2)
    Ntfs,
    Exfat,
    Ext,
    Raw,
    Partition,  // the lost-partition page
};

// Which page the result navigation opens: by the mode, and in the deleted-file and formatted-drive modes
// by the exact file-system name of the chosen partition. None for a name no page reads.
std::optional<ResultPageKind> ChooseResultPage(int mode, std::string_view fsName);

// The page class's name, as the result pages are known in the code ("CResultPage_FAT", ...).
QString ResultPageClassName(ResultPageKind kind);

// Makes the result pages and the RAW options dialog. The home view holds one; the result pages plug in
// by installing a factory of their own in the application object.
class ResultPageFactory {
  public:
    virtual ~ResultPageFactory() = default;

    // The page for `kind`, a child of `parent`; null when it cannot be made (the home view then says so).
    virtual CPage* Create(ResultPageKind kind, const PageContext& context, QWidget* parent) = 0;

    // The drive page's Option button in the RAW mode: the scan range and size limit in `settings`, the
    // file types in `signatures` (the application's list, kept for the run). Returns true when the user
    // confirmed.
    virtual bool RunRawOptions(QWidget* parent, RecoverySettings& settings, RawTypeSelection& signatures) = 0;
};

// The pages of this folder: the partition page and the RAW options dialog; no page for the other kinds
// (null). The result pages' factory stands in front of it and makes those.
class CDefaultResultPageFactory : public ResultPageFactory {
  public:
    CPage* Create(ResultPageKind kind, const PageContext& context, QWidget* parent) override;
    bool RunRawOptions(QWidget* parent, RecoverySettings& settings, RawTypeSelection& signatures) override;
};

}  // namespace lumacore::ui
