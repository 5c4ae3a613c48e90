#include "gui/result_page_support.h"

#include <QCryptographicHash>
#include <QFile>
#include <QTest>
#include <fstream>
#include <sstream>

#include "disk/disk_inventory.h"
#include "integration/image_fixture.h"
#include "ui/pages/result_page_factory.h"
#include "ui/results/result_list_model.h"
#include "ui/results/result_tree_model.h"

namespace lumacore::testing {

ResultPageRig::ResultPageRig(const std::string& imagePath,
                             const std::function<bool(const PartitionInfo&)>& volume)
    : app_(std::make_unique<CRecoveryApp>()) {
    QString error;
    if (!app_->ConfigureDevices({imagePath}, false, &error)) return;
    CDiskInventory inventory(*app_->devices());
    inventory.Refresh();
    for (int v = 0; v < inventory.volumeCount(); ++v) {
        if (!volume(inventory.GetVolume(v))) continue;
        app_->settings.SelectPartition(inventory.GetVolume(v));
        found_ = true;
        return;
    }
}

ui::CResultPage* ResultPageRig::Open(int mode) {
    const auto kind = ui::ChooseResultPage(mode, app_->settings.SelectedPartition.FsName());
    if (!kind) return nullptr;
    ui::CPage* created = app_->resultPages().Create(*kind, ui::PageContext{*app_, host_, mode}, nullptr);
    page_.reset(qobject_cast<ui::CResultPage*>(created));
    if (!page_) {
        delete created;
        return nullptr;
    }
    page_->resize(785, 435);
    page_->show();
    if (!QTest::qWaitFor([&] { return page_->scanFinished(); }, 60000)) return nullptr;
    return page_.get();
}

ui::FolderId ResultPageRig::Folder(const QString& path) const {
    const ui::ResultFamily& family = page_->family();
    ui::FolderId at = family.root();
    if (path.isEmpty()) return at;
    for (const QString& part : path.split(QLatin1Char('/'))) {
        ui::FolderId next = ui::kNoFolder;
        for (ui::FolderId child : family.children(at)) {
            if (family.folderText(child) == part) next = child;
        }
        if (next == ui::kNoFolder) return next;
        at = next;
    }
    return at;
}

QStringList ResultPageRig::Column(int column) const {
    QStringList texts;
    const ui::ResultListModel& list = page_->listModel();
    for (int row = 0; row < list.rowCount(); ++row) texts << list.index(row, column).data().toString();
    return texts;
}

int ResultPageRig::Row(const QString& name) const {
    return static_cast<int>(Column(ui::kColumnName).indexOf(name));
}

void ResultPageRig::TickFolder(ui::FolderId folder, bool checked) {
    page_->treeModel().setData(page_->treeModel().IndexOf(folder), checked ? Qt::Checked : Qt::Unchecked,
                               Qt::CheckStateRole);
}

void ResultPageRig::TickRow(const QString& name, bool checked) {
    ui::ResultListModel& list = page_->listModel();
    list.setData(list.index(Row(name), ui::kColumnName), checked ? Qt::Checked : Qt::Unchecked,
                 Qt::CheckStateRole);
}

void ResultPageRig::RecoverInto(const std::filesystem::path& folder, std::vector<OverwriteAnswer> answers) {
    std::filesystem::create_directories(folder);
    page_->SetFolderChooser([folder](QWidget*) { return QString::fromStdString(folder.string()); });
    auto pending = std::make_shared<std::vector<OverwriteAnswer>>(std::move(answers));
    page_->SetOverwriteAsker([this, pending](const QString& name) {
        asked << name;
        if (pending->empty()) return OverwriteAnswer::Cancel;
        const OverwriteAnswer answer = pending->front();
        pending->erase(pending->begin());
        return answer;
    });
    page_->SetSummaryShower([this](const ui::RunSummary& summary) { summaries.push_back(summary); });
    page_->Recover();
}

std::string ManifestSha256(const std::string& image, const std::string& path) {
    std::ifstream in(ImageFixtures::SourceDir() / "tests" / "fixtures" / "manifest.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        if (fields.size() > 5 && fields[0] == image + ".img" && fields[3] == path) return fields[5];
    }
    return {};
}

std::string FileSha256(const std::filesystem::path& file) {
    QFile in(QString::fromStdString(file.string()));
    if (!in.open(QIODevice::ReadOnly)) return {};
    return QCryptographicHash::hash(in.readAll(), QCryptographicHash::Sha256).toHex().toStdString();
}

}  // namespace lumacore::testing
