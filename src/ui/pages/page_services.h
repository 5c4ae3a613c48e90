#pragma once

#include <QString>
#include <memory>

namespace lumacore {
class DeviceMap;
class RawTypeSelection;
class RecoverySettings;
}  // namespace lumacore

namespace lumacore::ui {

class ResultPageFactory;

// What the pages take from the application object, and all they know of it: the application layer
// implements this, the ui layer cannot see the application's headers (its build target has no path to
// them).
class PageServices {
  public:
    virtual ~PageServices() = default;

    // The blackboard of the recovery in progress, shared by the pages, dialogs and workers.
    virtual RecoverySettings& recoverySettings() = 0;
    // The signature list of the RAW mode with the file types the user enabled, kept for the run.
    virtual RawTypeSelection& rawSignatures() = 0;

    // The current device map; a page keeps the pointer for as long as its inventory refers to it.
    virtual std::shared_ptr<const DeviceMap> devices() const = 0;
    // Adds a disk image as the next physical drive; the pages that list disks build their inventory anew.
    // Fails with a message naming the file that cannot be taken.
    virtual bool AttachImage(const QString& path, QString* error) = 0;

    // Makes the result pages and runs the RAW options dialog.
    virtual ResultPageFactory& resultPages() const = 0;
};

}  // namespace lumacore::ui
