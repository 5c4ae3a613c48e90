#include "ui/pages/result_page_factory.h"

#include "core/scan_mode.h"
#include "session/engine_table.h"
#include "ui/dialogs/raw_options_dlg.h"
#include "ui/pages/partition_page.h"

namespace lumacore::ui {

std::optional<ResultPageKind> ChooseResultPage(int mode, std::string_view fsName) {
    if (mode == SCAN_PARTITION) return ResultPageKind::Partition;
    const std::optional<ResultPageFamily> family = ResultPageFor(mode, fsName);
    if (!family) return std::nullopt;
    switch (*family) {
        case ResultPageFamily::Fat16:
            return ResultPageKind::Fat16;
        case ResultPageFamily::Fat32:
            return ResultPageKind::Fat32;
        case ResultPageFamily::Ntfs:
            return ResultPageKind::Ntfs;
        case ResultPageFamily::Exfat:
            return ResultPageKind::Exfat;
        case ResultPageFamily::Ext:
            return ResultPageKind::Ext;
        case ResultPageFamily::Raw:
            return ResultPageKind::Raw;
    }
    return std::nullopt;
}

QString ResultPageClassName(ResultPageKind kind) {
    switch (kind) {
        case ResultPageKind::Fat16:
        case ResultPageKind::Fat32:
            return QStringLiteral("CResultPage_FAT");
        case ResultPageKind::Ntfs:
            return QStringLiteral("CResultPage_NTFS");
        case ResultPageKind::Exfat:
            return QStringLiteral("CResultPage_exFAT");
        case ResultPageKind::Ext:
            return QStringLiteral("CResultPage_EXT");
        case ResultPageKind::Raw:
            return QStringLiteral("CResultPage_RAW");
        case ResultPageKind::Partition:
            return QStringLiteral("CPartitionPage");
    }
    return {};
}

CPage* CDefaultResultPageFactory::Create(ResultPageKind kind, const PageContext& context, QWidget* parent) {
    if (kind == ResultPageKind::Partition) return new CPartitionPage(context, parent);
    return nullptr;
}

bool CDefaultResultPageFactory::RunRawOptions(QWidget* parent, RecoverySettings& settings,
                                              RawTypeSelection& signatures) {
    return CRawOptionsDlg::Edit(parent, settings, signatures);
}

}  // namespace lumacore::ui
