#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "preview/hex_dump_text.h"
#include "preview/image_type.h"
#include "preview/preview_plan.h"
#include "preview/private_temp_folder.h"

namespace lumacore {
namespace {

std::vector<std::byte> Bytes(std::string_view text) {
    std::vector<std::byte> out;
    for (char c : text) out.push_back(static_cast<std::byte>(c));
    return out;
}

std::vector<std::byte> Counting(std::size_t n) {
    std::vector<std::byte> out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::byte>(i);
    return out;
}

TEST(HexDumpText, RowsOffsetsBlanksAndCharacters) {
    EXPECT_EQ(HexDumpText({}), "");
    const auto twenty = Bytes("0123456789abcdefWXYZ");
    EXPECT_EQ(HexDumpText(twenty),
              "00000000  30 31 32 33  34 35 36 37  38 39 61 62  63 64 65 66   0123456789abcdef\r\n"
              "00000010  57 58 59 5A   WXYZ");
    const std::vector<std::byte> mixed{std::byte{0x41}, std::byte{0x00}, std::byte{0x20}, std::byte{0x7E}};
    EXPECT_EQ(HexDumpText(mixed), "00000000  41 00 20 7E   A..~");
    // Exactly one row: no line break after it.
    EXPECT_EQ(HexDumpText(Counting(16)).find("\r\n"), std::string::npos);
    // Offsets are upper-case hexadecimal, eight digits.
    const std::string big = HexDumpText(Counting(4096));
    EXPECT_NE(big.find("\r\n00000FF0  F0 F1 F2 F3  F4 F5 F6 F7"), std::string::npos);
    EXPECT_EQ(big.substr(big.size() - 16), "................");
}

TEST(HexDumpText, ShowsExactlyLettersDigitsAndTheSigns) {
    std::vector<std::byte> all = Counting(256);
    const std::string dump = HexDumpText(all);
    std::string shown;
    for (std::size_t at = 0; at < dump.size();) {
        const std::size_t end = std::min(dump.find("\r\n", at), dump.size());
        shown += dump.substr(end - 16, 16);
        at = end + 2;
    }
    int kept = 0;
    for (int c = 0; c < 256; ++c) {
        if (shown[static_cast<std::size_t>(c)] != '.' || c == '.') ++kept;
        if (shown[static_cast<std::size_t>(c)] != '.') {
            EXPECT_EQ(shown[static_cast<std::size_t>(c)], static_cast<char>(c));
        }
    }
    EXPECT_EQ(kept, 93);
    for (char c : std::string(" \"\x7F")) EXPECT_EQ(shown[static_cast<unsigned char>(c)], '.');
    for (char c : std::string("@\\'`~,")) EXPECT_EQ(shown[static_cast<unsigned char>(c)], c);
}

TEST(ImageTypeFromName, TableOrderAndCase) {
    const std::vector<std::pair<const char*, int>> cases = {
        {"a.bmp", 1},  {"x.wbmp", 1},  {"P.GIF", 2},      {"a.jpg", 3},  {"a.JPEG", 3}, {"a.png", 4},
        {"a.ico", 5},  {"a.tif", 6},   {"a.TIFF", 6},     {"a.tga", 7},  {"a.pcx", 8},  {"a.wmf", 10},
        {"a.emf", 10}, {"a.j2k", 11},  {"a.jp2", 11},     {"a.j2c", 12}, {"a.jpc", 12}, {"a.pgx", 13},
        {"a.pnm", 14}, {"a.pgm", 14},  {"a.ppm", 14},     {"a.ras", 15}, {"a.txt", 0},  {"", 0},
        {"jpg", 3},    {"notajpg", 3}, {"a.jpeg.bak", 0}, {"wbmp", 1},
    };
    for (const auto& [name, code] : cases) EXPECT_EQ(ImageTypeFromName(name), code) << name;
}

std::string LookupLog;
const DesktopLookup kHasApplication = [](const std::string& name) {
    LookupLog += name + ";";
    return true;
};
const DesktopLookup kNoApplication = [](const std::string&) { return false; };

TEST(PlanPreview, EachFamilyFallsBackAsItsPageDoes) {
    const auto data = Counting(5000);
    // A picture that decoded is shown whatever the family.
    for (auto family : {PreviewFamily::Fat, PreviewFamily::Ntfs, PreviewFamily::Ext, PreviewFamily::Raw}) {
        EXPECT_EQ(PlanPreview(family, "a.jpg", 5000, data, true, kNoApplication).action,
                  PreviewAction::ShowImage);
    }
    // A picture that did not decode: the dump, cut per family.
    const std::pair<PreviewFamily, std::size_t> cuts[] = {{PreviewFamily::Ext, 4096},
                                                          {PreviewFamily::Raw, 512},
                                                          {PreviewFamily::Fat, 1024},
                                                          {PreviewFamily::Ntfs, 512}};
    for (const auto& [family, cut] : cuts) {
        const PreviewPlan plan = PlanPreview(family, "broken.jpg", 5000, data, false, kNoApplication);
        EXPECT_EQ(plan.action, PreviewAction::ShowDump);
        EXPECT_EQ(plan.byteCount, cut);
        EXPECT_EQ(plan.text, HexDumpText(std::span(data).first(cut)));
    }
    // Never more than what was read.
    EXPECT_EQ(PlanPreview(PreviewFamily::Ext, "x", 20, std::span(data).first(20), false, {}).byteCount, 20u);
}

TEST(PlanPreview, DocumentsGoToTheDesktopOnlyOnFatAndNtfsAndWhenItHasAnApplication) {
    const auto doc = Counting(3000);
    LookupLog.clear();
    PreviewPlan plan = PlanPreview(PreviewFamily::Fat, "Report.DOC", 3000, doc, false, kHasApplication);
    EXPECT_EQ(plan.action, PreviewAction::OpenWithDesktop);
    EXPECT_EQ(plan.temporaryCopyName, "2356.DOC");
    EXPECT_EQ(plan.byteCount, 3000u);
    EXPECT_EQ(LookupLog, "2356.DOC;");
    for (const char* name : {"a.docx", "a.xls", "a.XLSX", "mail.pst"}) {
        EXPECT_EQ(PlanPreview(PreviewFamily::Ntfs, name, 3000, doc, false, kHasApplication).action,
                  PreviewAction::OpenWithDesktop)
            << name;
    }
    // Without an application: the dump of 1024 (FAT) or 512 (NTFS) bytes.
    plan = PlanPreview(PreviewFamily::Fat, "a.doc", 3000, doc, false, kNoApplication);
    EXPECT_EQ(plan.action, PreviewAction::ShowDump);
    EXPECT_EQ(plan.byteCount, 1024u);
    EXPECT_EQ(PlanPreview(PreviewFamily::Ntfs, "a.doc", 3000, doc, false, {}).byteCount, 512u);
    // Mail stores only on FAT; EXT and RAW never ask the desktop.
    EXPECT_EQ(PlanPreview(PreviewFamily::Fat, "Inbox.dbx", 3000, doc, false, kHasApplication).action,
              PreviewAction::OpenWithDesktop);
    LookupLog.clear();
    EXPECT_EQ(PlanPreview(PreviewFamily::Ntfs, "Inbox.dbx", 3000, doc, false, kHasApplication).action,
              PreviewAction::ShowDump);
    EXPECT_EQ(PlanPreview(PreviewFamily::Ext, "a.doc", 3000, doc, false, kHasApplication).action,
              PreviewAction::ShowDump);
    EXPECT_EQ(PlanPreview(PreviewFamily::Raw, "File0.doc", 3000, doc, false, kHasApplication).action,
              PreviewAction::ShowDump);
    EXPECT_EQ(LookupLog, "");
    // A document that was not read whole is not handed over half.
    EXPECT_EQ(PlanPreview(PreviewFamily::Fat, "a.doc", 9000, doc, false, kHasApplication).action,
              PreviewAction::ShowDump);
}

TEST(PlanPreview, TextKindsAreShownUpToTheFirstZeroWithinTheCut) {
    std::string text(2000, 'x');
    text[700] = '\0';
    PreviewPlan plan = PlanPreview(PreviewFamily::Fat, "notes.TXT", 2000, Bytes(text), false, {});
    EXPECT_EQ(plan.action, PreviewAction::ShowText);
    EXPECT_EQ(plan.text, std::string(700, 'x'));
    plan = PlanPreview(PreviewFamily::Ntfs, "notes.txt", 2000, Bytes(std::string(2000, 'y')), false, {});
    EXPECT_EQ(plan.text, std::string(512, 'y'));
    for (const char* name : {"a.php", "a.htm", "a.html", "a.xml", "main.c", "a.cpp", "boot.ini"}) {
        EXPECT_EQ(PlanPreview(PreviewFamily::Fat, name, 3, Bytes("abc"), false, {}).action,
                  PreviewAction::ShowText)
            << name;
    }
    for (const char* name : {"a.csv", "abc", "a.h"}) {
        EXPECT_EQ(PlanPreview(PreviewFamily::Fat, name, 3, Bytes("abc"), false, {}).action,
                  PreviewAction::ShowDump)
            << name;
    }
    // EXT and RAW show every file that is not a picture as the dump.
    EXPECT_EQ(PlanPreview(PreviewFamily::Ext, "a.txt", 3, Bytes("abc"), false, {}).action,
              PreviewAction::ShowDump);
}

TEST(PreviewReadLength, PicturesAndDocumentsWholeTheRestOnlyWhatIsShown) {
    EXPECT_EQ(PreviewReadLength(PreviewFamily::Ext, "a.jpg", 1'000'000), 1'000'000u);
    EXPECT_EQ(PreviewReadLength(PreviewFamily::Ext, "a.bin", 1'000'000), 4096u);
    EXPECT_EQ(PreviewReadLength(PreviewFamily::Raw, "File1.bin", 1'000'000), 512u);
    EXPECT_EQ(PreviewReadLength(PreviewFamily::Fat, "a.doc", 1'000'000), 1'000'000u);
    EXPECT_EQ(PreviewReadLength(PreviewFamily::Fat, "a.txt", 1'000'000), 1024u);
    EXPECT_EQ(PreviewReadLength(PreviewFamily::Ntfs, "a.txt", 100), 100u);
    EXPECT_EQ(PreviewReadLength(PreviewFamily::Ext, "a.doc", 1'000'000), 4096u);
    // Too big to read whole: shown by its first bytes, never decoded.
    EXPECT_EQ(PreviewReadLength(PreviewFamily::Ntfs, "huge.bmp", kMaxPreviewFileBytes + 1), 512u);
    EXPECT_EQ(ImageTypeToDecode("huge.bmp", kMaxPreviewFileBytes + 1), 0);
    EXPECT_EQ(ImageTypeToDecode("ok.bmp", kMaxPreviewFileBytes), 1);
}

TEST(TemporaryCopyName, KeepsTheExtensionAndNothingThatCouldLeaveTheFolder) {
    EXPECT_EQ(TemporaryCopyName("Report.doc"), "2356.doc");
    EXPECT_EQ(TemporaryCopyName("a.tar.xlsx"), "2356.xlsx");
    EXPECT_EQ(TemporaryCopyName("evil./../../x"), "2356.x");
    EXPECT_EQ(TemporaryCopyName("noextension"), "2356.bin");
    EXPECT_EQ(TemporaryCopyName("a." + std::string(100, 'p')), "2356." + std::string(16, 'p'));
}

TEST(PrivateTempFolder, IsPrivateReplacesPlantedLinksAndGoesAway) {
    std::filesystem::path made;
    const std::filesystem::path victim =
        std::filesystem::temp_directory_path() / ("lumacore-victim-" + std::to_string(::getpid()));
    std::ofstream(victim) << "keep me";
    {
        auto folder = PrivateTempFolder::Create();
        ASSERT_TRUE(folder) << folder.error().message;
        made = folder->path();
        struct stat info {};
        ASSERT_EQ(::lstat(made.c_str(), &info), 0);
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(info.st_mode & 0777, 0700u);
        EXPECT_EQ(info.st_uid, ::getuid());

        // Someone got a link in under the copy's name: it is replaced, the file it names is untouched.
        std::filesystem::create_symlink(victim, made / "2356.doc");
        const auto data = Bytes("document bytes");
        auto written = folder->WriteFile("2356.doc", data);
        ASSERT_TRUE(written) << written.error().message;
        EXPECT_FALSE(std::filesystem::is_symlink(*written));
        EXPECT_EQ(std::filesystem::file_size(*written), data.size());
        std::ifstream kept(victim);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep me");
        ASSERT_EQ(::stat(written->c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);

        // The next preview of the same kind overwrites the copy.
        ASSERT_TRUE(folder->WriteFile("2356.doc", Bytes("v2")));
        EXPECT_EQ(std::filesystem::file_size(made / "2356.doc"), 2u);
        // Only plain names.
        EXPECT_FALSE(folder->WriteFile("../2356.doc", data));
        EXPECT_FALSE(folder->WriteFile("..", data));
        EXPECT_FALSE(folder->WriteFile("", data));
    }
    EXPECT_FALSE(std::filesystem::exists(made));
    EXPECT_TRUE(std::filesystem::exists(victim));
    std::filesystem::remove(victim);
}

}  // namespace
}  // namespace lumacore
