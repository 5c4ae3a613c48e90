// Fuzz target: a signature file made of arbitrary bytes, through the text-mode read, the stored form
// (LZNT1 and the byte shift), the XML reader and the positional schema; the XML reader also on the
// bytes as plain text. Whatever loads is compiled into the matcher, whose answers must equal the
// textual rule's on a window built from the same bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "engines/raw/signature_entry.h"
#include "engines/raw/signature_matcher.h"
#include "engines/raw/xml_reader.h"

using namespace lumacore;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::byte> input(reinterpret_cast<const std::byte*>(data), size);

    XmlNode root(XmlNode::kElement, "XML:ROOT");
    ParseXml(std::string_view(reinterpret_cast<const char*>(data), size), root);

    std::vector<SignatureEntry> entries;
    if (!LoadSignaturesFromBytes(entries, input) || entries.empty()) return 0;
    for (const SignatureEntry& entry : entries) {
        if (entry.extension.size() > SignatureEntry::kMaxExtension ||
            entry.description.size() > SignatureEntry::kMaxDescription || entry.partCount < 1 ||
            entry.partCount > SignatureEntry::kMaxParts) {
            std::abort();
        }
    }
    const SignatureMatcher matcher(entries);
    // Parts past the window never match under either rule, so a shorter window than the look-ahead
    // still compares them fairly, and keeps each run fast.
    std::vector<std::byte> window(kRawSectorSize + std::min<std::size_t>(matcher.lookahead(), 65536));
    for (std::size_t i = 0; i < window.size() && size > 0; ++i) window[i] = input[i % size];
    for (std::size_t shift = 0; shift < 4; ++shift) {
        const auto view = std::span<const std::byte>(window).subspan(shift);
        if (matcher.Match(view) != MatchSignaturesByText(entries, view)) std::abort();
    }
    return 0;
}
