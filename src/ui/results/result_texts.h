#pragma once

// The result pages' fixed texts.
namespace lumacore::ui {

inline constexpr const char* kScanningDeleted = "Scanning Deleted Files ...";
inline constexpr const char* kScanningFormatted = "Scanning Formated Drive ...";
inline constexpr const char* kScanningRaw = "Scanning Raw Files ...";
inline constexpr const char* kViewingIcon = "Viewing icon...";
inline constexpr const char* kRecoveringTitle = "Recoverying Deleted Files ...";
inline constexpr const char* kFolderChooserTitle = "Current folder is:";
inline constexpr const char* kPleaseCheckFiles = "Please check files for recovering";

}  // namespace lumacore::ui
