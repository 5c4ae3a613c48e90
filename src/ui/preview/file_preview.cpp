#include "ui/preview/file_preview.h"

#include <optional>

#include "preview/image_type.h"
#include "preview/private_temp_folder.h"
#include "ui/preview/desktop_handler.h"
#include "ui/preview/file_info_dlg.h"
#include "ui/preview/image_decoder.h"
#include "ui/preview/image_view_dlg.h"

namespace lumacore::ui {

namespace {

// Made on the first document preview, removed with everything in it when the program ends.
PrivateTempFolder* TempFolder() {
    static std::optional<PrivateTempFolder> folder;
    if (!folder) {
        auto made = PrivateTempFolder::Create();
        if (!made) return nullptr;
        folder.emplace(std::move(*made));
    }
    return &*folder;
}

}  // namespace

QString PreviewTempFolderPath() {
    PrivateTempFolder* folder = TempFolder();
    return folder ? QString::fromStdString(folder->path().string()) : QString();
}

std::optional<PreparedPreview> PrepareFilePreview(PreviewFamily family, const PreviewSource& source) {
    if (!source.read) return std::nullopt;
    auto data = source.read(PreviewReadLength(family, source.name, source.size));
    if (!data) return std::nullopt;

    PreparedPreview prepared;
    if (const int type = ImageTypeToDecode(source.name, source.size); type != 0) {
        prepared.image = DecodeImage(*data, type);
    }
    const DesktopHandler& desktop = CurrentDesktopHandler();
    prepared.plan = PlanPreview(family, source.name, source.size, *data, !prepared.image.isNull(),
                                [&](const std::string& fileName) {
                                    return desktop.hasApplication(QString::fromStdString(fileName));
                                });
    if (prepared.plan.action == PreviewAction::OpenWithDesktop) {
        PrivateTempFolder* folder = TempFolder();
        if (folder == nullptr) return prepared;
        auto copy = folder->WriteFile(prepared.plan.temporaryCopyName,
                                      std::span<const std::byte>(*data).first(prepared.plan.byteCount));
        if (!copy) return prepared;
        prepared.copyPath = QString::fromStdString(copy->string());
        prepared.opened = desktop.open(prepared.copyPath);
    }
    return prepared;
}

void PreviewFoundFile(QWidget* parent, PreviewFamily family, const PreviewSource& source) {
    auto prepared = PrepareFilePreview(family, source);
    if (!prepared) return;
    switch (prepared->plan.action) {
        case PreviewAction::ShowImage: {
            CImageViewDlg dialog(std::move(prepared->image), parent);
            dialog.exec();
            break;
        }
        case PreviewAction::ShowText:
        case PreviewAction::ShowDump: {
            // Text kinds are shown as the desktop writes text; a file that is not UTF-8 shows replacement
            // marks where its bytes are not.
            CFileInfoDlg dialog(QString::fromUtf8(prepared->plan.text.data(),
                                                  static_cast<qsizetype>(prepared->plan.text.size())),
                                parent);
            dialog.exec();
            break;
        }
        case PreviewAction::OpenWithDesktop:
            break;
    }
}

}  // namespace lumacore::ui
