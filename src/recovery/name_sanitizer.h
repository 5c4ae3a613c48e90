#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace lumacore {

// The longest name one path component may have on Linux file systems (NAME_MAX), in bytes.
inline constexpr std::size_t kMaxComponentBytes = 255;

// Turns a name read from disk into one safe path component:
//  - '/', NUL, the other control bytes (below 0x20) and DEL become '_';
//  - an empty name becomes "_", and "." and ".." become "_" and "__" (one '_' per dot, so the two
//    stay told apart and neither can walk out of its folder);
//  - a name longer than 255 bytes is cut at a character boundary, keeping a short extension so the
//    recovered file still opens with the right program.
// Bytes that are not valid UTF-8 are kept: Linux names are bytes, and the name should stay as close
// to the one on disk as it safely can.
std::string SanitizePathComponent(std::string_view raw);

// Hands out distinct names within each destination folder for one recovery run. The second file or
// folder whose sanitised name was already handed out in that folder gets "stem (2).ext", the next
// "stem (3).ext", and so on. Names are compared without letter case, so a run behaves the same on the
// case-folding file systems recovered files are often copied to (FAT, exFAT and NTFS sticks).
class UniqueNames {
  public:
    // `name` must already be sanitised; the result is too, and at most 255 bytes long.
    std::string Claim(const std::filesystem::path& folder, std::string_view name);

  private:
    std::unordered_map<std::string, std::unordered_set<std::string>> taken_;  // folder -> folded names
};

}  // namespace lumacore
