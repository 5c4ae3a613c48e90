#include "ui/results/result_pages.h"

#include <algorithm>

#include "app/recovery_app.h"
#include "ui/results/ext_family.h"
#include "ui/results/fat_family.h"
#include "ui/results/ntfs_family.h"
#include "ui/results/raw_family.h"

namespace lumacore::ui {

namespace {

template <typename Family>
std::unique_ptr<ResultFamily> MakeFamily(const PageContext& context) {
    return std::make_unique<Family>(context.app.devices(), context.app.settings.SelectedPartition);
}

}  // namespace

CResultPage_FAT::CResultPage_FAT(const PageContext& context, QWidget* parent)
    : CResultPage(context, MakeFamily<FatFamily>(context), QStringLiteral("CResultPage_FAT"), parent) {}

CResultPage_NTFS::CResultPage_NTFS(const PageContext& context, QWidget* parent)
    : CResultPage(context, MakeFamily<NtfsFamily>(context), QStringLiteral("CResultPage_NTFS"), parent) {}

CResultPage_EXT::CResultPage_EXT(const PageContext& context, QWidget* parent)
    : CResultPage(context, MakeFamily<ExtFamily>(context), QStringLiteral("CResultPage_EXT"), parent) {}

namespace {

// The types ticked in the options dialog; none when every type is ticked or the list was never loaded.
std::unique_ptr<ResultFamily> MakeRawFamily(const PageContext& context) {
    auto family = std::make_unique<RawFamily>(context.app.devices(), context.app.settings.SelectedPartition);
    const auto& entries = context.app.rawTypeSelection.entries();
    const bool everything = std::all_of(entries.begin(), entries.end(), [](const SignatureEntry& e) { return e.enabled; });
    if (!everything) {
        std::vector<std::string> types;
        for (const SignatureEntry& entry : entries) {
            if (entry.enabled && std::find(types.begin(), types.end(), entry.extension) == types.end()) {
                types.push_back(entry.extension);
            }
        }
        family->SetTypes(std::move(types));
    }
    return family;
}

}  // namespace

CResultPage_RAW::CResultPage_RAW(const PageContext& context, QWidget* parent)
    : CResultPage(context, MakeRawFamily(context), QStringLiteral("CResultPage_RAW"), parent) {}

}  // namespace lumacore::ui
