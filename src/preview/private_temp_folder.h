#pragma once

#include <cstddef>
#include <filesystem>
#include <span>
#include <string_view>

#include "core/result.h"
#include "platform/file_descriptor.h"
#include "platform/output_guard.h"

namespace lumacore {

// A folder only this user can enter, for the temporary copies that documents are opened from. It is
// made fresh with mkdtemp (mode 0700) under $XDG_RUNTIME_DIR or the temporary folder, so no other user can
// predict or plant anything in it, and it is removed with everything in it when the object goes.
class PrivateTempFolder {
  public:
    // `base` empty: $XDG_RUNTIME_DIR when it is set and is a folder, else $TMPDIR, else /tmp.
    static Result<PrivateTempFolder> Create(const std::filesystem::path& base = {});

    PrivateTempFolder(PrivateTempFolder&& other) noexcept;
    PrivateTempFolder& operator=(PrivateTempFolder&& other) noexcept;
    PrivateTempFolder(const PrivateTempFolder&) = delete;
    PrivateTempFolder& operator=(const PrivateTempFolder&) = delete;
    ~PrivateTempFolder();

    const std::filesystem::path& path() const { return path_; }

    // Writes `data` as the file `name` (a plain file name) in the folder, replacing an earlier copy of
    // that name. Whatever else sits there by that name (a link, a folder) is never written through: a
    // link is replaced, anything that cannot be removed makes it fail. Returns the file's path.
    // The copy goes through `guard` like every other file the program writes.
    Result<std::filesystem::path> WriteFile(std::string_view name, std::span<const std::byte> data,
                                            const OutputGuard& guard = {});

  private:
    PrivateTempFolder(std::filesystem::path path, FileDescriptor folder)
        : path_(std::move(path)), folder_(std::move(folder)) {}
    void Remove();

    std::filesystem::path path_;
    FileDescriptor folder_;  // the folder as made, so that a folder swapped in by its path is never used
};

}  // namespace lumacore
