#include "ui/pages/result_page_factory.h"

#include "app/recovery_app.h"
#include "core/scan_mode.h"
#include "ui/dialogs/raw_options_dlg.h"
#include "ui/pages/partition_page.h"
#include "ui/pages/result_placeholder_page.h"

namespace lumacore::ui {

std::optional<ResultPageKind> ChooseResultPage(int mode, std::string_view fsName) {
    switch (mode) {
        case SCAN_PARTITION: return ResultPageKind::Partition;
        case SCAN_RAW: return ResultPageKind::Raw;
        case SCAN_DELETED:
        case SCAN_FORMATTED:
            // The names the system reports for lettered volumes, and EXT2/EXT3 from the partition walk.
            if (fsName == "FAT32") return ResultPageKind::Fat32;
            if (fsName == "FAT16" || fsName == "FAT") return ResultPageKind::Fat16;
            if (fsName == "NTFS") return ResultPageKind::Ntfs;
            if (fsName == "EXT2" || fsName == "EXT3" || fsName == "EXT4") return ResultPageKind::Ext;
            return std::nullopt;
        default: return std::nullopt;
    }
}

QString ResultPageClassName(ResultPageKind kind) {
    switch (kind) {
        case ResultPageKind::Fat16:
        case ResultPageKind::Fat32: return QStringLiteral("CResultPage_FAT");
        case ResultPageKind::Ntfs: return QStringLiteral("CResultPage_NTFS");
        case ResultPageKind::Ext: return QStringLiteral("CResultPage_EXT");
        case ResultPageKind::Raw: return QStringLiteral("CResultPage_RAW");
        case ResultPageKind::Partition: return QStringLiteral("CPartitionPage");
    }
    return {};
}

CPage* CDefaultResultPageFactory::Create(ResultPageKind kind, const PageContext& context, QWidget* parent) {
    if (kind == ResultPageKind::Partition) return new CPartitionPage(context, parent);
    return new CResultPlaceholderPage(kind, context, parent);
}

bool CDefaultResultPageFactory::RunRawOptions(QWidget* parent, RecoverySettings& settings) {
    // The signature list lives in the application object for the whole run, like the settings.
    static RawTypeSelection detached;
    CRecoveryApp* app = CRecoveryApp::Instance();
    return CRawOptionsDlg::Edit(parent, settings, app ? app->rawTypeSelection : detached);
}

}  // namespace lumacore::ui
