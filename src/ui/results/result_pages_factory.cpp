#include "ui/results/result_pages_factory.h"

#include "ui/results/result_pages.h"

namespace lumacore::ui {

CPage* CResultPagesFactory::Create(ResultPageKind kind, const PageContext& context, QWidget* parent) {
    switch (kind) {
        case ResultPageKind::Fat16:
        case ResultPageKind::Fat32:
            return new CResultPage_FAT(context, parent);
        case ResultPageKind::Exfat:
            return new CResultPage_exFAT(context, parent);
        case ResultPageKind::Ntfs:
            return new CResultPage_NTFS(context, parent);
        case ResultPageKind::Ext:
            return new CResultPage_EXT(context, parent);
        case ResultPageKind::Raw:
            return new CResultPage_RAW(context, parent);
        default:
            return others_.Create(kind, context, parent);
    }
}

bool CResultPagesFactory::RunRawOptions(QWidget* parent, RecoverySettings& settings,
                                        RawTypeSelection& signatures) {
    return others_.RunRawOptions(parent, settings, signatures);
}

}  // namespace lumacore::ui
