#include "ui/results/result_pages.h"

#include <algorithm>

#include "core/recovery_settings.h"
#include "engines/raw/signature_entry.h"
#include "ui/results/exfat_family.h"
#include "ui/results/ext_family.h"
#include "ui/results/fat_family.h"
#include "ui/results/ntfs_family.h"
#include "ui/results/raw_family.h"

namespace lumacore::ui {

namespace {

template <typename Family>
std::unique_ptr<ResultFamily> MakeFamily(const PageContext& context) {
    return std::make_unique<Family>(context.app.devices(), context.app.recoverySettings().SelectedPartition);
}

}  // namespace

CResultPage_FAT::CResultPage_FAT(const PageContext& context, QWidget* parent)
    : CResultPage(context, MakeFamily<FatFamily>(context), QStringLiteral("CResultPage_FAT"), parent) {}

CResultPage_exFAT::CResultPage_exFAT(const PageContext& context, QWidget* parent)
    : CResultPage(context, MakeFamily<ExfatFamily>(context), QStringLiteral("CResultPage_exFAT"), parent) {}

CResultPage_NTFS::CResultPage_NTFS(const PageContext& context, QWidget* parent)
    : CResultPage(context, MakeFamily<NtfsFamily>(context), QStringLiteral("CResultPage_NTFS"), parent) {}

CResultPage_EXT::CResultPage_EXT(const PageContext& context, QWidget* parent)
    : CResultPage(context, MakeFamily<ExtFamily>(context), QStringLiteral("CResultPage_EXT"), parent) {}

namespace {

// The signature list as ticked in the options dialog, entry by entry (ticks passed as extensions lost
// an unticked entry that shared its extension with a ticked one, and none ticked meant every type);
// the file itself when the list was never loaded.
std::unique_ptr<ResultFamily> MakeRawFamily(const PageContext& context) {
    auto family =
        std::make_unique<RawFamily>(context.app.devices(), context.app.recoverySettings().SelectedPartition);
    family->SetSignatures(context.app.rawSignatures().entries());
    return family;
}

}  // namespace

CResultPage_RAW::CResultPage_RAW(const PageContext& context, QWidget* parent)
    : CResultPage(context, MakeRawFamily(context), QStringLiteral("CResultPage_RAW"), parent) {}

}  // namespace lumacore::ui
