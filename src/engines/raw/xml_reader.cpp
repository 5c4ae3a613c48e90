#include "engines/raw/xml_reader.h"

#include <fstream>
#include <iterator>

#include "core/lznt1.h"

namespace lumacore {

namespace {

struct ParseState {
    std::string_view text;
    std::size_t nodes = 0;
    bool failed = false;

    bool Count() {
        if (++nodes > kMaxXmlNodes) failed = true;
        return !failed;
    }
};

bool IsQuote(char c) {
    return c == '"' || c == '\'';
}

// An attribute's name runs back from its '=' to the previous blank or tag punctuation.
bool EndsAttributeName(char c) {
    return c == ' ' || c == '<' || c == '>' || c == '!' || c == '?';
}

// One level: the content of `parent` between begin and end. Returns 1 when the level ended with text or
// with a closed element whose content parsed, 0 otherwise; state.failed ends the whole parse.
int ParseLevel(ParseState& state, std::size_t begin, std::size_t end, XmlNode& parent, int depth) {
    if (depth > kMaxXmlDepth) {
        state.failed = true;
        return 0;
    }
    const std::string_view text = state.text;
    const bool hasTags = text.substr(begin, end - begin).find('<') != std::string_view::npos;
    int result = 0;
    bool open = false;
    std::string_view openName;
    std::size_t contentStart = 0;

    for (std::size_t i = begin; i < end && !state.failed;) {
        const char c = text[i];
        if (c == '<') {
            const std::size_t tagStart = i;
            // Declarations, comments and the like are not elements: nothing of them is collected.
            if (i + 1 < end && (text[i + 1] == '?' || text[i + 1] == '!')) {
                i += 2;
                continue;
            }
            std::size_t nameEnd = i + 1;
            while (nameEnd < end && text[nameEnd] != ' ' && text[nameEnd] != '>') ++nameEnd;
            const std::string_view name = text.substr(i + 1, nameEnd - i - 1);
            if (!open) {
                open = true;
                openName = name;
                contentStart = nameEnd;  // the tag's attributes belong to the content
            } else if (name.size() == openName.size() + 1 && name[0] == '/' && name.substr(1) == openName) {
                if (!state.Count()) return 0;
                XmlNode& element = parent.Append(XmlNode::kElement, std::string(openName));
                if (ParseLevel(state, contentStart, tagStart, element, depth + 1) == 0) {
                    state.failed = true;
                    return 0;
                }
                result = 1;
                open = false;
            } else {
                result = 0;
            }
            i = nameEnd;
            continue;
        }
        if (c == '=') {
            std::size_t nameStart = i;
            while (nameStart > begin && !EndsAttributeName(text[nameStart - 1])) --nameStart;
            std::size_t quote = i + 1;
            while (quote < end && !IsQuote(text[quote])) ++quote;
            std::size_t close = quote + 1;
            while (close < end && !IsQuote(text[close])) ++close;
            if (quote >= end || close >= end) {
                ++i;  // no quoted value: an '=' in plain text
                continue;
            }
            if (!open) {
                std::string attributeName;
                for (std::size_t k = nameStart; k < i; ++k) {
                    if (!IsQuote(text[k])) attributeName.push_back(text[k]);
                }
                if (!state.Count()) return 0;
                parent.Append(XmlNode::kAttribute, std::move(attributeName),
                              std::string(text.substr(quote + 1, close - quote - 1)));
            }
            i = close + 1;
            continue;
        }
        ++i;
    }
    if (state.failed) return 0;
    if (!hasTags) {
        // Text is what follows the last '>' (the end of the element's opening tag), taken as it stands.
        const std::size_t lastGt = text.substr(begin, end - begin).rfind('>');
        const std::size_t from = lastGt == std::string_view::npos ? begin : begin + lastGt + 1;
        if (!state.Count()) return 0;
        parent.Append(XmlNode::kText, std::string(text.substr(from, end - from)));
        return 1;
    }
    return result;
}

}  // namespace

bool ParseXml(std::string_view text, XmlNode& root) {
    ParseState state{text};
    const int result = ParseLevel(state, 0, text.size(), root, 0);
    return !state.failed && result == 1;
}

std::string TextModeContent(std::span<const std::byte> fileBytes) {
    std::string content;
    content.reserve(fileBytes.size());
    for (std::size_t i = 0; i < fileBytes.size(); ++i) {
        const char c = static_cast<char>(fileBytes[i]);
        if (c == '\x1a') break;
        if (c == '\r' && i + 1 < fileBytes.size() && static_cast<char>(fileBytes[i + 1]) == '\n') continue;
        content.push_back(c);
    }
    return content;
}

std::optional<std::string> SignatureText(std::string_view content) {
    if (!content.empty() && content[0] == '<') return std::string(content);
    const auto input = std::as_bytes(std::span<const char>(content.data(), content.size()));
    const std::size_t capacity = std::min(content.size() * kStoredExpansionFactor, kMaxSignatureTextBytes);
    std::vector<std::byte> expanded(capacity);
    const auto produced = Lznt1Decompress(input, expanded);
    if (!produced) return std::nullopt;
    std::string text(*produced, '\0');
    for (std::size_t i = 0; i < *produced; ++i) {
        text[i] =
            static_cast<char>(static_cast<unsigned char>(std::to_integer<unsigned char>(expanded[i]) - 1u));
    }
    return text;
}

namespace {

// Bytes a text-mode read would change: a 0x1A byte ends the read, a CR LF pair becomes LF.
bool ReadsBackUnchanged(const std::vector<std::byte>& stored, std::span<const std::byte> next) {
    for (std::size_t i = 0; i < next.size(); ++i) {
        const auto b = std::to_integer<unsigned char>(next[i]);
        const auto before = i > 0 ? std::to_integer<unsigned char>(next[i - 1])
                                  : (stored.empty() ? 0u : std::to_integer<unsigned char>(stored.back()));
        if (b == 0x1A || (b == '\n' && before == '\r')) return false;
    }
    return true;
}

std::vector<std::byte> StoredChunk(std::span<const std::byte> data) {
    std::vector<std::byte> chunk;
    const auto header = static_cast<std::uint16_t>(0x3000 | (data.size() - 1));
    chunk.push_back(static_cast<std::byte>(header & 0xFF));
    chunk.push_back(static_cast<std::byte>(header >> 8));
    chunk.insert(chunk.end(), data.begin(), data.end());
    return chunk;
}

}  // namespace

std::optional<std::vector<std::byte>> EncodeStoredForm(std::string_view xml) {
    if (xml.empty() || xml[0] != '<') return std::nullopt;
    // Compressed chunks hold arbitrary flag and back-reference bytes, some of which a text-mode read
    // would change; such a chunk is written uncompressed instead (shifted XML text never holds 0x1A or
    // CR LF). Only the last chunk's header depends on the text's length: a line break added after the
    // text (where the top level keeps no text) moves it.
    constexpr int kTries = 8;
    std::string padded(xml);
    for (int attempt = 0; attempt < kTries; ++attempt, padded.push_back('\n')) {
        std::vector<std::byte> shifted(padded.size());
        for (std::size_t i = 0; i < padded.size(); ++i) {
            shifted[i] = static_cast<std::byte>(static_cast<unsigned char>(padded[i]) + 1u);
        }
        std::vector<std::byte> stored;
        bool clean = true;
        for (std::size_t at = 0; at < shifted.size() && clean; at += kLznt1ChunkSize) {
            const auto data = std::span<const std::byte>(shifted).subspan(
                at, std::min(kLznt1ChunkSize, shifted.size() - at));
            std::vector<std::byte> chunk = Lznt1Compress(data);
            const bool leadsWithLt = stored.empty() && !chunk.empty() && chunk[0] == std::byte{'<'};
            if (leadsWithLt || !ReadsBackUnchanged(stored, chunk)) chunk = StoredChunk(data);
            clean = ReadsBackUnchanged(stored, chunk) && !(stored.empty() && chunk[0] == std::byte{'<'});
            stored.insert(stored.end(), chunk.begin(), chunk.end());
        }
        if (!clean) continue;
        const std::string content = TextModeContent(stored);
        const auto back = content.size() == stored.size() ? SignatureText(content) : std::nullopt;
        if (back && *back == padded) return stored;
    }
    return std::nullopt;
}

Result<std::unique_ptr<XmlNode>> LoadDocumentBytes(std::span<const std::byte> fileBytes) {
    if (fileBytes.size() > kMaxSignatureFileBytes) return Error::Corrupt("the signature file is too large");
    const auto text = SignatureText(TextModeContent(fileBytes));
    if (!text) return Error::Corrupt("the signature file's stored form does not decompress");
    auto root = std::make_unique<XmlNode>(XmlNode::kElement, "XML:ROOT");
    if (!ParseXml(*text, *root)) return Error::Corrupt("the signature file does not parse");
    return root;
}

Result<std::unique_ptr<XmlNode>> LoadDocument(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return Error::Make(ErrorKind::NotFound, "cannot open " + path.string());
    std::vector<std::byte> bytes;
    char buffer[65536];
    while (in) {
        in.read(buffer, sizeof buffer);
        const auto got = static_cast<std::size_t>(in.gcount());
        if (bytes.size() + got > kMaxSignatureFileBytes)
            return Error::Corrupt("the signature file is too large");
        const auto* first = reinterpret_cast<const std::byte*>(buffer);
        bytes.insert(bytes.end(), first, first + got);
    }
    if (in.bad()) return Error::Io("cannot read " + path.string());
    return LoadDocumentBytes(bytes);
}

}  // namespace lumacore
