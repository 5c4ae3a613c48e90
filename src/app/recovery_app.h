#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <vector>

#include "core/recovery_settings.h"
#include "engines/raw/signature_entry.h"
#include "platform/device_map.h"
#include "ui/pages/page_services.h"

namespace lumacore {

class CMainFrame;

// The application object: lives for the whole run beside the QApplication, holds the recovery settings
// that the pages, dialogs and workers share, knows which disks exist (attached images and, unless left
// out, the machine's block devices), and starts and ends the program. The pages reach it as their
// ui::PageServices.
class CRecoveryApp final : public ui::PageServices {
public:
    // The settings location: organisation and application name of QSettings.
    static constexpr const char* kSettingsKey = "Local AppWizard-Generated Applications";
    static constexpr int kRecentFileCount = 4;
    static constexpr const char* kImagesVariable = "LUMACORE_IMAGES";

    CRecoveryApp();
    ~CRecoveryApp() override;
    CRecoveryApp(const CRecoveryApp&) = delete;
    CRecoveryApp& operator=(const CRecoveryApp&) = delete;

    // Start-up: look, settings, command line (--image FILE, --no-devices, LUMACORE_IMAGES), the main
    // window. False when the program cannot start; the reason has been told on stderr and in a box.
    bool InitInstance(const QStringList& arguments);
    // Exit: frees what the run collected. Returns the exit code to use.
    int ExitInstance();

    // The blackboard of the recovery in progress.
    RecoverySettings settings;
    // The signature list of the RAW mode: loaded the first time the options dialog or a scan needs it,
    // then kept for the run, with the file types the user enabled.
    RawTypeSelection rawTypeSelection;
    // The recent-file list kept in the settings location (the program opens no documents; kept as read).
    QStringList recentFiles;

    // The two above, as the pages ask for them.
    RecoverySettings& recoverySettings() override { return settings; }
    RawTypeSelection& rawSignatures() override { return rawTypeSelection; }

    // Which disks exist. Fails with a message naming the image that cannot be opened.
    bool ConfigureDevices(std::vector<std::string> images, bool includeBlockDevices, QString* error);
    // Adds a disk image as the next physical drive; the pages that list disks build their inventory anew.
    bool AttachImage(const QString& path, QString* error) override;
    // The current device map; a page keeps the pointer for as long as its inventory refers to it.
    std::shared_ptr<const DeviceMap> devices() const override { return devices_; }
    // Puts a prepared device map in place (tests).
    void UseDevices(std::shared_ptr<const DeviceMap> devices) { devices_ = std::move(devices); }
    const std::vector<std::string>& images() const { return images_; }

    ui::ResultPageFactory& resultPages() const override { return *resultPages_; }
    // The result pages plug in here.
    void SetResultPageFactory(std::unique_ptr<ui::ResultPageFactory> factory);

    CMainFrame* mainFrame() const { return frame_.get(); }

private:
    void LoadProfileSettings();

    std::vector<std::string> images_;
    bool includeBlockDevices_ = false;
    int exitCode_ = 0;
    std::shared_ptr<const DeviceMap> devices_;
    std::unique_ptr<ui::ResultPageFactory> resultPages_;
    std::unique_ptr<CMainFrame> frame_;
};

}  // namespace lumacore
