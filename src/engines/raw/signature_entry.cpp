#include "engines/raw/signature_entry.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <system_error>

#include "engines/raw/xml_reader.h"

namespace lumacore {

namespace {

// A decimal number as the C library's atoi reads it (blanks, a sign, digits, then anything), held to
// the 32-bit range instead of overflowing.
std::int32_t DecimalValue(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min<std::int64_t>(value * 10 + (text[i] - '0'), std::int64_t{INT32_MAX} + 1);
    }
    if (negative) value = -value;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

std::string Cut(const std::string& text, std::size_t limit) {
    return text.substr(0, std::min(text.size(), limit));
}

// The first child's text (a text node's name is its text); empty when there is no first child.
std::optional<std::string> FirstChildText(const XmlNode* node) {
    if (node == nullptr || node->childCount() == 0) return std::nullopt;
    return node->child(0)->name();
}

std::optional<std::string> FirstChildValue(const XmlNode* node) {
    if (node == nullptr || node->childCount() == 0) return std::nullopt;
    return node->child(0)->value();
}

void ReadTypes(const XmlNode& root, std::vector<SignatureEntry>& out) {
    const XmlNode* document = nullptr;
    for (std::size_t i = 0; i < root.childCount() && document == nullptr; ++i) {
        if (root.child(i)->kind() != XmlNode::kAttribute) document = root.child(i);
    }
    if (document == nullptr) return;
    for (std::size_t g = 1; g < document->childCount(); ++g) {
        const XmlNode* type = document->child(g);
        const auto extension = FirstChildText(type->child(0));
        const auto description = FirstChildText(type->child(1));
        if (!extension || !description) continue;
        for (std::size_t s = 2; s < type->childCount(); ++s) {
            if (out.size() >= kMaxSignatureEntries) return;
            const XmlNode* signature = type->child(s);
            const auto count = FirstChildValue(signature);
            if (!count) continue;
            SignatureEntry entry;
            entry.extension = Cut(*extension, SignatureEntry::kMaxExtension);
            entry.description = Cut(*description, SignatureEntry::kMaxDescription);
            const int wanted = std::min(DecimalValue(*count), SignatureEntry::kMaxParts);
            for (int p = 0; p < wanted; ++p) {
                const XmlNode* part = signature->child(static_cast<std::size_t>(p) + 1);
                const auto offset = FirstChildValue(part);
                if (!offset || part->childCount() < 2) break;
                entry.offsets[static_cast<std::size_t>(p)] = DecimalValue(*offset);
                entry.patterns[static_cast<std::size_t>(p)] =
                    Cut(part->child(1)->name(), SignatureEntry::kMaxPattern);
                entry.partCount = p + 1;
            }
            // A signature without parts would match every sector.
            if (entry.partCount > 0) out.push_back(std::move(entry));
        }
    }
}

}  // namespace

bool LoadSignaturesFromBytes(std::vector<SignatureEntry>& list, std::span<const std::byte> fileBytes) {
    auto root = LoadDocumentBytes(fileBytes);
    if (!root) return false;
    std::vector<SignatureEntry> read;
    ReadTypes(**root, read);
    list.insert(list.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
    return true;
}

bool LoadSignatures(std::vector<SignatureEntry>& list, const std::filesystem::path& file) {
    auto root = LoadDocument(file);
    if (!root) return false;
    std::vector<SignatureEntry> read;
    ReadTypes(**root, read);
    list.insert(list.end(), std::make_move_iterator(read.begin()), std::make_move_iterator(read.end()));
    return true;
}

std::vector<std::filesystem::path> SignatureFileCandidates() {
    std::vector<std::filesystem::path> found;
    std::error_code error;
    if (std::filesystem::is_regular_file(kSignatureFileName, error)) found.emplace_back(kSignatureFileName);
    const auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        // Beside the program in a build tree; in the data folder next to its bin folder once installed.
        for (const auto& candidate :
             {program.parent_path() / kSignatureFileName,
              program.parent_path().parent_path() / "share" / "lumacore" / kSignatureFileName}) {
            if (std::filesystem::is_regular_file(candidate, error)) found.push_back(candidate);
        }
    }
    return found;
}

std::filesystem::path FindSignatureFile() {
    const auto candidates = SignatureFileCandidates();
    return candidates.empty() ? std::filesystem::path(kSignatureFileName) : candidates.front();
}

bool RawTypeSelection::EnsureLoaded(const std::filesystem::path& file) {
    if (entries_.empty() && LoadSignatures(entries_, file) && !entries_.empty()) loadedFrom_ = file;
    return !entries_.empty();
}

bool RawTypeSelection::EnsureLoaded() {
    if (!entries_.empty()) return true;
    for (const auto& candidate : SignatureFileCandidates()) {
        if (EnsureLoaded(candidate)) return true;
        skipped_.push_back(candidate);
    }
    return false;
}

bool RawTypeSelection::AnyEnabled() const {
    return std::any_of(entries_.begin(), entries_.end(), [](const SignatureEntry& e) { return e.enabled; });
}

std::vector<std::string> RawTypeSelection::EnableOnly(const std::vector<std::string>& extensions) {
    auto lower = [](std::string text) {
        for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return text;
    };
    std::vector<std::string> unknown;
    for (const std::string& wanted : extensions) {
        const bool known = std::any_of(entries_.begin(), entries_.end(), [&](const SignatureEntry& e) {
            return lower(e.extension) == lower(wanted);
        });
        if (!known) unknown.push_back(wanted);
    }
    for (SignatureEntry& entry : entries_) {
        entry.enabled = std::any_of(extensions.begin(), extensions.end(), [&](const std::string& wanted) {
            return lower(wanted) == lower(entry.extension);
        });
    }
    return unknown;
}

}  // namespace lumacore
