#include "app/recovery_app.h"

#include <QApplication>
#include <QSettings>
#include <algorithm>
#include <iostream>

#include <sys/stat.h>

#include "app/main_frame.h"
#include "platform/device_command_line.h"
#include "platform/output_guard.h"
#include "platform/system_device_map.h"
#include "ui/results/result_pages_factory.h"
#include "ui/shell.h"
#include "ui/skin/skin.h"

namespace lumacore {

namespace {

constexpr const char* kUsage =
    "usage: lumacore [--image FILE]... [--no-devices] [FILE]...\n"
    "  --image FILE   attach a disk image as the next physical drive (repeatable)\n"
    "  --no-devices   list only the attached images, not the machine's disks\n"
    "  FILE           a disk image to attach, as with --image (how the desktop opens image files)\n"
    "Images listed in LUMACORE_IMAGES (colon-separated) are attached after those given with --image.\n";

// Start-up failures are told on stderr for the terminal and in a box for the desktop.
void ReportStartFailure(const QString& message) {
    std::cerr << "lumacore: " << message.toStdString() << '\n';
    ui::ShowMessage(nullptr, message);
}

}  // namespace

CRecoveryApp::CRecoveryApp() : resultPages_(std::make_unique<ui::CResultPagesFactory>()) {
    // No disks until the command line has been read.
    ConfigureDevices({}, false, nullptr);
}

CRecoveryApp::~CRecoveryApp() {
    frame_.reset();
}

void CRecoveryApp::LoadProfileSettings() {
    QSettings profile(QString::fromLatin1(kSettingsKey), QString::fromLatin1(ui::kApplicationName));
    recentFiles.clear();
    profile.beginGroup(QStringLiteral("Recent File List"));
    for (int i = 1; i <= kRecentFileCount; ++i) {
        const QString file = profile.value(QStringLiteral("File%1").arg(i)).toString();
        if (!file.isEmpty()) recentFiles.append(file);
    }
    profile.endGroup();
}

bool CRecoveryApp::InitInstance(const QStringList& arguments) {
    exitCode_ = 2;  // a bad command line or image, unless start-up gets through
    if (auto* application = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        ui::skin::ApplyApplicationLook(*application);
    }
    LoadProfileSettings();

    std::vector<std::string> words;
    for (qsizetype i = 1; i < arguments.size(); ++i) words.push_back(arguments[i].toStdString());
    if (std::find(words.begin(), words.end(), "--help") != words.end()) {
        std::cout << kUsage;
        exitCode_ = 0;
        return false;
    }
    auto line = ParseCommandLine(words, kImagesVariable);
    if (!line) {
        ReportStartFailure(QString::fromStdString(line.error().message));
        return false;
    }
    // Files named without an option are disk images (the desktop file hands them over as %F).
    std::vector<std::string> images = line->global.images;
    if (!line->command.empty()) images.push_back(line->command);
    for (const std::string& word : line->arguments) {
        if (word.starts_with('-')) {
            ReportStartFailure(QStringLiteral("unexpected argument '%1'").arg(QString::fromStdString(word)));
            return false;
        }
        images.push_back(word);
    }
    QString error;
    if (!ConfigureDevices(images, line->global.includeBlockDevices, &error)) {
        ReportStartFailure(error);
        return false;
    }

    frame_ = std::make_unique<CMainFrame>(*this);
    frame_->setWindowTitle(QString::fromLatin1(ui::kProductTitle));
    frame_->RestoreWindowState();
    frame_->show();
    frame_->update();
    exitCode_ = 0;
    return true;
}

int CRecoveryApp::ExitInstance() {
    if (frame_) frame_->SaveWindowState();
    frame_.reset();
    rawTypeSelection.entries().clear();
    return exitCode_;
}

bool CRecoveryApp::ConfigureDevices(std::vector<std::string> images, bool includeBlockDevices,
                                    QString* error) {
    SystemDeviceMap::Options options;
    options.images = images;
    options.includeBlockDevices = includeBlockDevices;
    auto map = SystemDeviceMap::Create(options);
    if (!map) {
        if (error) *error = QString::fromStdString(map.error().message);
        return false;
    }
    images_ = std::move(images);
    includeBlockDevices_ = includeBlockDevices;
    devices_ = std::shared_ptr<const DeviceMap>(std::move(*map));
    return true;
}

bool CRecoveryApp::AttachImage(const QString& path, QString* error) {
    const std::string file = path.toStdString();
    // Opening and reading happen on the UI thread: a FIFO or a kernel file (/proc/kmsg) would block them
    // for ever, so only image files and block devices on storage are taken.
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
        if (error) *error = QStringLiteral("%1 is not a disk image file or a disk.").arg(path);
        return false;
    }
    if (auto storage = CheckStorageFileSystem(std::filesystem::path(file).parent_path()); !storage) {
        if (error) *error = QString::fromStdString(storage.error().message);
        return false;
    }
    if (std::find(images_.begin(), images_.end(), file) != images_.end()) return true;
    std::vector<std::string> images = images_;
    images.push_back(file);
    return ConfigureDevices(std::move(images), includeBlockDevices_, error);
}

void CRecoveryApp::SetResultPageFactory(std::unique_ptr<ui::ResultPageFactory> factory) {
    if (factory) resultPages_ = std::move(factory);
}

}  // namespace lumacore
