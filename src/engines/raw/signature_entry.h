#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace lumacore {

// One header signature of a file type: up to three byte patterns, each at its offset from the file's
// first byte. Pattern texts are lower-case hexadecimal digit pairs, "|" between alternatives.
struct SignatureEntry {
    // The fixed field sizes of the signature list, less the terminating zero.
    static constexpr std::size_t kMaxExtension = 11;
    static constexpr std::size_t kMaxDescription = 51;
    static constexpr std::size_t kMaxPattern = 511;
    static constexpr int kMaxParts = 3;

    std::string extension;    // without the dot
    std::string description;  // the file type's name; found files are grouped by it
    std::array<std::string, kMaxParts> patterns;
    std::array<std::int32_t, kMaxParts> offsets{};
    int partCount = 0;  // 1 to 3
    bool enabled = true;
};

// More signatures than this are not read: the options list and the matcher's tables are sized by the
// count, and a real signature file has a few hundred at most.
inline constexpr std::size_t kMaxSignatureEntries = 4096;

// Loads a signature file and appends one entry per signature, in document order. The schema is
// positional (names are never compared): the document element's first child is skipped; each later
// child is a file type holding an extension element, a description element and one element per
// signature; a signature's first attribute is its part count and each of its next children is a part,
// whose first attribute is the offset and whose text is the pattern. Texts are cut to the field sizes,
// the part count to 3, and missing children end a signature or type early. False, with the list left
// as it was, when the file cannot be read or parsed.
bool LoadSignatures(std::vector<SignatureEntry>& list, const std::filesystem::path& file);
// The same over a file's bytes already in memory.
bool LoadSignaturesFromBytes(std::vector<SignatureEntry>& list, std::span<const std::byte> fileBytes);

// The signature file "rp.dat": in the current folder when it is there, else beside the program, else in
// the installed data folder (<prefix>/share/lumacore beside <prefix>/bin).
std::filesystem::path FindSignatureFile();
// Every place FindSignatureFile looks, in its order, that holds a file.
std::vector<std::filesystem::path> SignatureFileCandidates();
inline constexpr const char* kSignatureFileName = "rp.dat";

// The signature list the options and the scans share for the whole run: filled once, the first time
// something needs it while it is empty, and kept (so changes to the file show at the next start).
class RawTypeSelection {
  public:
    // Loads the list when it is empty; true when it holds entries afterwards.
    bool EnsureLoaded(const std::filesystem::path& file);
    // The same from the first of the usual places whose file gives signatures: a stray "rp.dat" that does
    // not parse (or holds none) in the current folder does not take the installed list away; each file
    // passed over is named in skippedFiles() so the user can be told.
    bool EnsureLoaded();
    const std::vector<std::filesystem::path>& skippedFiles() const { return skipped_; }
    // The file the list came from; empty before a load.
    const std::filesystem::path& loadedFrom() const { return loadedFrom_; }

    std::vector<SignatureEntry>& entries() { return entries_; }
    const std::vector<SignatureEntry>& entries() const { return entries_; }
    bool AnyEnabled() const;

    // Enables exactly the entries whose extension is listed (case-insensitive); the names that match
    // no entry are returned.
    std::vector<std::string> EnableOnly(const std::vector<std::string>& extensions);

  private:
    std::vector<SignatureEntry> entries_;
    std::vector<std::filesystem::path> skipped_;
    std::filesystem::path loadedFrom_;
};

}  // namespace lumacore
