#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/device_map.h"
#include "ui/pages/page.h"

namespace lumacore::testing {

// Captures the program's message boxes for the life of the object.
class MessageRecorder {
public:
    MessageRecorder();
    ~MessageRecorder();
    MessageRecorder(const MessageRecorder&) = delete;
    MessageRecorder& operator=(const MessageRecorder&) = delete;

    const std::vector<std::pair<QString, QString>>& messages() const { return *messages_; }
    QStringList texts() const;

private:
    std::shared_ptr<std::vector<std::pair<QString, QString>>> messages_;
};

// Records the navigation requests of a page created without a home view.
class RecordingHost final : public ui::PageHost {
public:
    void PostNavigate(int pageKind, int mode) override { requests.emplace_back(pageKind, mode); }
    std::vector<std::pair<int, int>> requests;
};

// Takes the URLs the program hands to the desktop (QDesktopServices) instead of opening them.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    explicit UrlRecorder(const QString& scheme);
    ~UrlRecorder() override;
    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl& url) { urls.append(url); }

private:
    QString scheme_;
};

// Waits (processing events) until the page has no background work left; false after `timeoutMs`.
bool WaitIdle(ui::CPage& page, int timeoutMs = 20000);

// A device map that answers as `inner` does, slowly: every storage-descriptor question (one per disk
// and per volume while a disk inventory refreshes) waits `delay`, and, while the gate is closed, until
// it is opened. Counts the questions.
class SlowDeviceMap final : public DeviceMap {
public:
    SlowDeviceMap(std::shared_ptr<const DeviceMap> inner, std::chrono::milliseconds delay)
        : inner_(std::move(inner)), delay_(delay) {}

    void CloseGate();
    void OpenGate();
    // Questions asked so far, and questions now waiting at the gate.
    int queries() const { return queries_.load(); }
    int waiting() const { return waiting_.load(); }

    int PhysicalDriveCount() const override { return inner_->PhysicalDriveCount(); }
    std::string PhysicalDrivePath(int drive) const override { return inner_->PhysicalDrivePath(drive); }
    Result<std::unique_ptr<BlockDevice>> OpenPhysicalDrive(int drive, AccessMode mode) const override {
        return inner_->OpenPhysicalDrive(drive, mode);
    }
    Result<std::vector<std::byte>> QueryStorageDescriptor(int drive) const override;
    std::uint64_t QueryDiskLength(int drive) const override { return inner_->QueryDiskLength(drive); }
    std::vector<char> VolumeLetters() const override { return inner_->VolumeLetters(); }
    std::optional<VolumeInformation> GetVolumeInformation(char letter) const override {
        return inner_->GetVolumeInformation(letter);
    }
    std::optional<FreeSpace> GetDiskFreeSpace(char letter) const override { return inner_->GetDiskFreeSpace(letter); }
    std::optional<PartitionExtent> QueryPartitionInfo(char letter) const override {
        return inner_->QueryPartitionInfo(letter);
    }
    int DiskOfVolume(char letter) const override { return inner_->DiskOfVolume(letter); }
    void ForgetVolumes() const override { inner_->ForgetVolumes(); }

private:
    std::shared_ptr<const DeviceMap> inner_;
    std::chrono::milliseconds delay_;
    mutable std::mutex lock_;
    mutable std::condition_variable opened_;
    bool gateClosed_ = false;
    mutable std::atomic<int> queries_{0};
    mutable std::atomic<int> waiting_{0};
};

// The unpacked path of tests/fixtures/images/<name>.img.zst, as a std::string; fails the test run when the
// image is missing.
std::string FixtureImage(const std::string& name);

}  // namespace lumacore::testing
