#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/result.h"

namespace lumacore {

// One node of a signature file's document tree. The reader is deliberately small: it knows elements,
// attributes and text and nothing else (no entities, no empty-element tags, no nesting of an element
// inside one of the same name), which is all the signature file needs.
class XmlNode {
  public:
    enum Kind : int { kElement = 1, kAttribute = 2, kText = 3 };

    XmlNode(Kind kind, std::string name, std::optional<std::string> value = std::nullopt)
        : kind_(kind), name_(std::move(name)), value_(std::move(value)) {}

    Kind kind() const { return kind_; }
    // Element: its tag name; attribute: its name; text: the text itself.
    const std::string& name() const { return name_; }
    // An attribute's value; empty for elements and text.
    const std::optional<std::string>& value() const { return value_; }

    std::size_t childCount() const { return children_.size(); }
    const XmlNode* child(std::size_t index) const {
        return index < children_.size() ? children_[index].get() : nullptr;
    }
    // First/next iteration with the node's own cursor; null past the last child.
    const XmlNode* FirstChild() const {
        cursor_ = 0;
        return NextChild();
    }
    const XmlNode* NextChild() const {
        return cursor_ < children_.size() ? children_[cursor_++].get() : nullptr;
    }

    XmlNode& Append(Kind kind, std::string name, std::optional<std::string> value = std::nullopt) {
        children_.push_back(std::make_unique<XmlNode>(kind, std::move(name), std::move(value)));
        return *children_.back();
    }

  private:
    Kind kind_;
    std::string name_;
    std::optional<std::string> value_;
    std::vector<std::unique_ptr<XmlNode>> children_;
    mutable std::size_t cursor_ = 0;
};

// Nesting deeper than this fails the parse. The signature file needs five levels; the bound keeps a
// hostile file from exhausting the stack, since each level is parsed by a recursive call.
inline constexpr int kMaxXmlDepth = 32;
// More nodes than this fail the parse: a real signature file has a few thousand, and every attribute
// or element of a hostile one would otherwise cost an allocation.
inline constexpr std::size_t kMaxXmlNodes = 200000;

// Parses `text` into `root` (whose children it appends). True when the text parsed: the top level ended
// with a closed element or with text, and so did every element's content.
bool ParseXml(std::string_view text, XmlNode& root);

// The largest signature file read, and the largest text its stored form may expand to. A real one is
// tens of kilobytes; the bounds keep a hostile file from costing memory and parse time.
inline constexpr std::size_t kMaxSignatureFileBytes = std::size_t{4} << 20;
inline constexpr std::size_t kMaxSignatureTextBytes = std::size_t{16} << 20;
// The stored form expands into a buffer of this many times its length; text that needs more fails.
inline constexpr std::size_t kStoredExpansionFactor = 16;

// The content of a signature file as a text-mode read sees it: every CR LF pair becomes LF and the
// content ends at the first 0x1A byte.
std::string TextModeContent(std::span<const std::byte> fileBytes);

// The XML text of a signature file's content (after the text-mode read): the content itself when it
// starts with '<', else the stored form decoded (LZNT1, then 1 subtracted from every byte). Nullopt
// when the stored form does not decompress or would expand beyond its buffer.
std::optional<std::string> SignatureText(std::string_view content);

// The stored form of an XML text: 1 added to every byte, then LZNT1. The result is checked to read
// back exactly through TextModeContent and SignatureText; where the compressed bytes happen to hold a
// CR LF pair, a 0x1A byte or a leading '<', blank lines are added after the text and it is tried again.
// Nullopt when the text does not start with '<' or no clean form was found.
std::optional<std::vector<std::byte>> EncodeStoredForm(std::string_view xml);

// Reads and parses one signature file (plain or stored form) under the root element "XML:ROOT".
Result<std::unique_ptr<XmlNode>> LoadDocument(const std::filesystem::path& path);
// The same over bytes already in memory.
Result<std::unique_ptr<XmlNode>> LoadDocumentBytes(std::span<const std::byte> fileBytes);

}  // namespace lumacore
