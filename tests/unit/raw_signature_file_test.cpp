// The signature file: the small XML reader with its deliberate limits, the plain and stored forms, and
// the positional schema with its bounds.
#include <gtest/gtest.h>

#include <fstream>

#include "core/lznt1.h"
#include "engines/raw/signature_entry.h"
#include "engines/raw/xml_reader.h"

namespace lumacore {
namespace {

std::vector<std::byte> Bytes(std::string_view text) {
    std::vector<std::byte> out(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) out[i] = static_cast<std::byte>(text[i]);
    return out;
}

std::unique_ptr<XmlNode> Parse(std::string_view text, bool expectOk = true) {
    auto root = std::make_unique<XmlNode>(XmlNode::kElement, "XML:ROOT");
    EXPECT_EQ(ParseXml(text, *root), expectOk) << text;
    return root;
}

std::string Type(const std::string& ext, const std::string& description, const std::string& signatures) {
    return "<t><e>" + ext + "</e><d>" + description + "</d>" + signatures + "</t>";
}

constexpr int kPartsAsGiven = -1000;

std::string Signature(std::initializer_list<std::pair<int, std::string>> parts, int count = kPartsAsGiven) {
    std::string text =
        "<s n=\"" + std::to_string(count == kPartsAsGiven ? static_cast<int>(parts.size()) : count) + "\">";
    for (const auto& [offset, pattern] : parts)
        text += "<p o=\"" + std::to_string(offset) + "\">" + pattern + "</p>";
    return text + "</s>";
}

std::string Document(const std::string& types) {
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<db><about>skipped</about>" + types + "</db>\r\n";
}

std::vector<SignatureEntry> Load(const std::string& text, bool expectOk = true) {
    std::vector<SignatureEntry> entries;
    EXPECT_EQ(LoadSignaturesFromBytes(entries, Bytes(text)), expectOk);
    return entries;
}

TEST(RawXmlReader, AttributesBecomeFirstChildrenAndTextFollowsTheLastGreaterThan) {
    auto root = Parse("<?xml version=\"1.0\" encoding='utf-8'?><a x=\"1\" y='two'>te&amp;xt</a>");
    ASSERT_EQ(root->childCount(), 3u);
    EXPECT_EQ(root->child(0)->kind(), XmlNode::kAttribute);
    EXPECT_EQ(root->child(0)->name(), "version");
    EXPECT_EQ(root->child(1)->value(), "utf-8");
    const XmlNode* a = root->child(2);
    ASSERT_EQ(a->kind(), XmlNode::kElement);
    EXPECT_EQ(a->name(), "a");
    ASSERT_EQ(a->childCount(), 3u);
    EXPECT_EQ(a->child(0)->name(), "x");
    EXPECT_EQ(a->child(0)->value(), "1");
    EXPECT_EQ(a->child(1)->value(), "two");
    EXPECT_EQ(a->child(2)->kind(), XmlNode::kText);
    EXPECT_EQ(a->child(2)->name(), "te&amp;xt");  // entities stay as written
    EXPECT_FALSE(a->child(2)->value().has_value());
    // First/next iteration.
    EXPECT_EQ(a->FirstChild(), a->child(0));
    EXPECT_EQ(a->NextChild(), a->child(1));
    EXPECT_EQ(a->NextChild(), a->child(2));
    EXPECT_EQ(a->NextChild(), nullptr);
}

TEST(RawXmlReader, TextIsKeptExactlyAndEmptyContentGivesEmptyText) {
    auto root = Parse("<r><a>  padded\n</a><b></b></r>");
    const XmlNode* r = root->child(0);
    ASSERT_EQ(r->childCount(), 2u);
    EXPECT_EQ(r->child(0)->child(0)->name(), "  padded\n");
    ASSERT_EQ(r->child(1)->childCount(), 1u);
    EXPECT_EQ(r->child(1)->child(0)->kind(), XmlNode::kText);
    EXPECT_EQ(r->child(1)->child(0)->name(), "");
    // A range holding tags keeps no text of its own.
    EXPECT_EQ(Parse("<r>before<a>x</a>after</r>")->child(0)->childCount(), 1u);
}

TEST(RawXmlReader, FirstClosingTagOfTheNameClosesTheElement) {
    // The outer <a> closes at the inner </a>; the inner <a> never closes inside it, and its level
    // still counts as parsed because <b> closed there.
    auto root = Parse("<r><a><b>x</b><a>y</a></a></r>");
    const XmlNode* r = root->child(0);
    ASSERT_EQ(r->childCount(), 1u);
    const XmlNode* outer = r->child(0);
    EXPECT_EQ(outer->name(), "a");
    ASSERT_EQ(outer->childCount(), 1u);
    EXPECT_EQ(outer->child(0)->name(), "b");
    // With nothing closing properly inside, the nested level fails and so does the whole parse.
    Parse("<a><a>x</a></a>", false);
}

TEST(RawXmlReader, FailuresAndUnsupportedForms) {
    Parse("<a>x</b>", false);            // never closed
    Parse("<a/>", false);                // empty-element tags are not supported
    Parse("<r><a>x</a><b/></r>");        // ... but a level whose last closed element parsed still passes
    Parse("", true);                     // plain text (here none) is a text node
    Parse("<!-- note --><a>x</a>");      // comments are skipped
    auto noQuote = Parse("<a>k=v</a>");  // an '=' without a quoted value is text
    EXPECT_EQ(noQuote->child(0)->childCount(), 1u);
}

TEST(RawXmlReader, HostileNestingAndNodeCountsFailInsteadOfExhausting) {
    std::string deep;
    for (int i = 0; i < kMaxXmlDepth + 5; ++i) deep += "<n" + std::to_string(i) + ">";
    deep += "x";
    for (int i = kMaxXmlDepth + 4; i >= 0; --i) deep += "</n" + std::to_string(i) + ">";
    Parse(deep, false);
    std::string many = "<a ";
    for (std::size_t i = 0; i <= kMaxXmlNodes; ++i) many += "b=\"\" ";
    many += ">x</a>";
    Parse("<r>" + many + "</r>", false);
}

TEST(RawSignatureFile, PlainAndStoredFormsGiveTheSameEntries) {
    const std::string xml =
        Document(Type("jpg", "JPEG image", Signature({{0, "ffd8ff"}})) +
                 Type("zip", "ZIP archive", Signature({{0, "504b0304"}, {30, "6d696d65"}})));
    const auto plain = Load(xml);
    ASSERT_EQ(plain.size(), 2u);
    const auto stored = EncodeStoredForm(xml);
    ASSERT_TRUE(stored);
    EXPECT_NE((*stored)[0], std::byte{'<'});
    std::vector<SignatureEntry> fromStored;
    ASSERT_TRUE(LoadSignaturesFromBytes(fromStored, *stored));
    ASSERT_EQ(fromStored.size(), 2u);
    EXPECT_EQ(fromStored[1].patterns[1], "6d696d65");
    EXPECT_EQ(fromStored[1].offsets[1], 30);
    // A text without a leading '<' has no stored form that a reader could tell from plain text.
    EXPECT_FALSE(EncodeStoredForm("x<a>y</a>"));
}

TEST(RawSignatureFile, StoredBytesAreShiftedDownByOne) {
    // 0x3D 0x62 ... decompresses and shifts to "<a" ...
    const std::string shifted = "=b?y=0b?";  // "<a>x</a>" with 1 added to every byte
    const auto stored = Lznt1Compress(Bytes(shifted));
    const auto text = SignatureText(TextModeContent(stored));
    ASSERT_TRUE(text);
    EXPECT_EQ(*text, "<a>x</a>");
    // A stream that does not decompress fails the load.
    std::vector<SignatureEntry> entries;
    EXPECT_FALSE(LoadSignaturesFromBytes(entries, Bytes("\x05\xb0\xff\xff")));
}

TEST(RawSignatureFile, TextModeReadCollapsesCrLfAndStopsAt1A) {
    EXPECT_EQ(TextModeContent(Bytes("a\r\nb\rc\n")), "a\nb\rc\n");
    const std::string cut = Document(Type("jpg", "JPEG image", Signature({{0, "ffd8ff"}})));
    // Everything after 0x1A is never read: the document element stays open and the parse fails.
    Load(cut.substr(0, 60) + "\x1a" + cut.substr(60), false);
    EXPECT_EQ(Load(cut + "\x1a garbage <<<").size(), 1u);
}

TEST(RawSignatureFile, PositionalSchemaSkipsTheFirstChildAndDeclarationAttributes) {
    // The document element carries one attribute: that is the child not read, so the first type counts.
    const auto withAttribute = Load("<?xml version=\"1.0\"?><db v=\"1\">" +
                                    Type("png", "PNG image", Signature({{0, "89504e47"}})) + "</db>");
    ASSERT_EQ(withAttribute.size(), 1u);
    EXPECT_EQ(withAttribute[0].extension, "png");
    EXPECT_EQ(withAttribute[0].description, "PNG image");
    EXPECT_TRUE(withAttribute[0].enabled);
    // Without one, the first element is the one skipped.
    const auto without =
        Load("<db>" + Type("png", "PNG image", Signature({{0, "89504e47"}})) +
             Type("gif", "GIF image", Signature({{0, "4749"}}) + Signature({{0, "4748"}})) + "</db>");
    ASSERT_EQ(without.size(), 2u);
    EXPECT_EQ(without[0].extension, "gif");
    EXPECT_EQ(without[1].patterns[0], "4748");
    EXPECT_EQ(without[1].description, "GIF image");
}

TEST(RawSignatureFile, BoundsCutFieldsAndStopAtMissingChildren) {
    const std::string longPattern(600, 'a');
    const auto entries = Load(
        Document(Type("abcdefghijklmnop", std::string(80, 'D'),
                      Signature({{7, longPattern}, {1, "00"}, {2, "01"}, {3, "02"}}, 9)) +
                 Type("two", "short", Signature({{0, "aa"}}, 3)) +       // claims 3 parts, holds 1
                 Type("neg", "negative", Signature({{-4, "bb"}}, -2)) +  // no parts: not a signature
                 Type("txt", "count text", "<s n=\" +2xyz\"><p o=\"12abc\">cc</p><p o=\"1\">dd</p></s>") +
                 "<t><e>lonely</e></t>"));  // no description: the type is left out
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[0].extension, "abcdefghijk");
    EXPECT_EQ(entries[0].description.size(), SignatureEntry::kMaxDescription);
    EXPECT_EQ(entries[0].patterns[0].size(), SignatureEntry::kMaxPattern);
    EXPECT_EQ(entries[0].partCount, 3);
    EXPECT_EQ(entries[0].offsets[0], 7);
    EXPECT_EQ(entries[1].partCount, 1);
    EXPECT_EQ(entries[2].partCount, 2);  // " +2xyz" reads as 2, "12abc" as 12
    EXPECT_EQ(entries[2].offsets[0], 12);
}

TEST(RawSignatureFile, FailedLoadLeavesTheListAndMissingFileFails) {
    std::vector<SignatureEntry> list(1);
    list[0].extension = "kept";
    EXPECT_FALSE(LoadSignaturesFromBytes(list, Bytes("<a>unclosed")));
    EXPECT_FALSE(LoadSignatures(list, "/nonexistent/rp.dat"));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].extension, "kept");

    RawTypeSelection selection;
    EXPECT_FALSE(selection.EnsureLoaded("/nonexistent/rp.dat"));
    const auto path = std::filesystem::temp_directory_path() / "lumacore-raw-selection-rp.dat";
    std::ofstream(path) << Document(Type("jpg", "JPEG image", Signature({{0, "ffd8ff"}})));
    EXPECT_TRUE(selection.EnsureLoaded(path));
    std::ofstream(path) << Document("");
    EXPECT_TRUE(selection.EnsureLoaded(path));  // loaded once, kept
    EXPECT_EQ(selection.entries().size(), 1u);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace lumacore
