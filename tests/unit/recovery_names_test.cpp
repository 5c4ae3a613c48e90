#include <gtest/gtest.h>

#include <string>

#include "recovery/name_sanitizer.h"

namespace lumacore {
namespace {

std::string Repeat(std::string_view piece, std::size_t times) {
    std::string out;
    for (std::size_t i = 0; i < times; ++i) out.append(piece);
    return out;
}

TEST(SanitizePathComponent, ReplacesWhatAPathCannotHold) {
    EXPECT_EQ(SanitizePathComponent(std::string("a/b\0c\x1f\x7f"
                                                "d",
                                                8)),
              "a_b_c__d");
    EXPECT_EQ(SanitizePathComponent("\t\n"), "__");
    EXPECT_EQ(SanitizePathComponent(""), "_");
    EXPECT_EQ(SanitizePathComponent("."), "_");
    EXPECT_EQ(SanitizePathComponent(".."), "__");
    EXPECT_EQ(SanitizePathComponent("/.."), "_..");  // no longer a parent reference once the slash is gone
    // Names that are merely odd are kept: they are safe and they are what was on disk.
    EXPECT_EQ(SanitizePathComponent("..."), "...");
    EXPECT_EQ(SanitizePathComponent(".hidden"), ".hidden");
    EXPECT_EQ(SanitizePathComponent("back\\slash *?.txt"), "back\\slash *?.txt");
    EXPECT_EQ(SanitizePathComponent("\xFF\xFE\x80.txt"), "\xFF\xFE\x80.txt");
    EXPECT_EQ(SanitizePathComponent("\xC3\xBC"
                                    "ber"),
              "\xC3\xBC"
              "ber");
}

TEST(SanitizePathComponent, LongNamesAreCutOnACharacterBoundary) {
    const std::string twoByte = Repeat("\xC3\xA9", 150);                 // 300 bytes of "é"
    EXPECT_EQ(SanitizePathComponent(twoByte), Repeat("\xC3\xA9", 127));  // the 128th would end at byte 256
    const std::string emoji = "\xF0\x9F\x98\x80";
    EXPECT_EQ(SanitizePathComponent(Repeat(emoji, 75)), Repeat(emoji, 63));  // 252 bytes

    // A short extension survives the cut; the stem gives way.
    const std::string withExtension = SanitizePathComponent(Repeat("\xC3\xA9", 148) + ".docx");
    EXPECT_EQ(withExtension, Repeat("\xC3\xA9", 125) + ".docx");
    EXPECT_EQ(withExtension.size(), kMaxComponentBytes);

    // A "extension" of 40 bytes is part of the name and is cut like the rest.
    const std::string longTail = SanitizePathComponent(std::string(250, 'a') + "." + std::string(40, 'b'));
    EXPECT_EQ(longTail, std::string(250, 'a') + "." + std::string(4, 'b'));

    // Bytes that are not UTF-8 are one character each and may be cut anywhere.
    EXPECT_EQ(SanitizePathComponent(std::string(300, '\xFF')), std::string(255, '\xFF'));
    EXPECT_EQ(SanitizePathComponent(std::string(255, 'x')).size(), 255u);
}

TEST(UniqueNames, CollisionsGetNumbersPerFolder) {
    UniqueNames names;
    EXPECT_EQ(names.Claim("dest", "a_b.txt"), "a_b.txt");
    EXPECT_EQ(names.Claim("dest", "a_b.txt"), "a_b (2).txt");
    EXPECT_EQ(names.Claim("dest/", "a_b.txt"), "a_b (3).txt");  // the same folder, spelt differently
    EXPECT_EQ(names.Claim("dest/sub", "a_b.txt"), "a_b.txt");
    EXPECT_EQ(names.Claim("dest", "A_B.TXT"), "A_B (4).TXT");  // case-folding destinations would clash
    EXPECT_EQ(names.Claim("dest", "README"), "README");
    EXPECT_EQ(names.Claim("dest", "README"), "README (2)");
    EXPECT_EQ(names.Claim("dest", ".profile"), ".profile");
    EXPECT_EQ(names.Claim("dest", ".profile"), ".profile (2)");
}

TEST(UniqueNames, NeverHandsOutANameTwice) {
    UniqueNames names;
    EXPECT_EQ(names.Claim("d", "x (2).txt"), "x (2).txt");  // a file really called that came first
    EXPECT_EQ(names.Claim("d", "x.txt"), "x.txt");
    EXPECT_EQ(names.Claim("d", "x.txt"), "x (3).txt");

    const std::string longName = Repeat("\xC3\xA9", 125) + ".docx";  // exactly 255 bytes
    EXPECT_EQ(names.Claim("d", longName), longName);
    const std::string second = names.Claim("d", longName);
    EXPECT_LE(second.size(), kMaxComponentBytes);
    EXPECT_EQ(second, Repeat("\xC3\xA9", 123) + " (2).docx");
    for (int i = 3; i <= 12; ++i) {
        const std::string next = names.Claim("d", longName);
        EXPECT_LE(next.size(), kMaxComponentBytes);
        EXPECT_NE(next.find(" (" + std::to_string(i) + ").docx"), std::string::npos) << next;
    }
}

}  // namespace
}  // namespace lumacore
