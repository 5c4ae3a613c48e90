#include <gtest/gtest.h>

#include <string>

#include "core/dos_date.h"
#include "core/filter.h"

namespace lumacore {
namespace {

FilterSettings Category(int category) {
    FilterSettings f;
    f.category = category;
    if (const char* list = FilterCategoryList(category)) f.extensionList = list;
    return f;
}

FilterSubject File(std::string_view name, std::string_view extension, std::uint64_t size = 0,
                   std::uint16_t date = 0) {
    return FilterSubject{name, extension, date, size};
}

TEST(FilterCategories, TextsAndListsByIndex) {
    EXPECT_STREQ(FilterCategoryText(0), "All Files (*.*)");
    EXPECT_STREQ(FilterCategoryText(6), "Email Files (*.dbx | *.pst | *.box)");
    EXPECT_STREQ(FilterCategoryText(-1), "");
    EXPECT_STREQ(FilterCategoryText(7), "");
    EXPECT_EQ(FilterCategoryList(0), nullptr);
    EXPECT_EQ(FilterCategoryList(7), nullptr);
    EXPECT_EQ(FilterCategoryList(-3), nullptr);
    EXPECT_STREQ(FilterCategoryList(2), "htm.htx.asp.stm.shtml");
    EXPECT_STREQ(FilterCategoryList(3),
                 "bmp.dib.gif.jpg.jpe.png.mng.ico.cur.tif.tga.pcx.wbmp.wmf.j2k.jbg.jp2.jpc.pgx.pnm.ras");
}

TEST(Filter, ExtensionTest) {
    FilterSettings all = Category(0);
    all.extensionList = "doc";  // category 0 never looks at the list
    EXPECT_TRUE(PassesFilter(File("a.exe", "exe"), all));
    EXPECT_TRUE(PassesFilter(File("a", ""), all));

    const FilterSettings office = Category(1);
    EXPECT_TRUE(PassesFilter(File("REPORT.DOC", "DOC"), office));
    EXPECT_TRUE(PassesFilter(File("a.mdb", "mdb"), office));  // the piece after the last dot counts
    EXPECT_FALSE(PassesFilter(File("a.do", "do"), office));   // whole pieces only, no prefixes
    EXPECT_FALSE(PassesFilter(File("a.docm", "docm"), office));
    EXPECT_FALSE(PassesFilter(File("noext", ""), office));

    EXPECT_FALSE(PassesFilter(File("page.html", "html"), Category(2)));  // not in the web list
    EXPECT_TRUE(PassesFilter(File("x.ras", "ras"), Category(3)));

    FilterSettings custom = Category(1);  // the list, not the category, is what is compared
    custom.extensionList = "txt..log";
    EXPECT_TRUE(PassesFilter(File("a.txt", "txt"), custom));
    EXPECT_FALSE(PassesFilter(File("a.doc", "doc"), custom));
    EXPECT_TRUE(PassesFilter(File("noext", ""), custom));  // an empty piece matches an empty extension

    FilterSettings caseSensitive = Category(1);
    caseSensitive.extensionList = "DOC";  // only the file's side is lower-cased
    EXPECT_FALSE(PassesFilter(File("a.doc", "doc"), caseSensitive));
}

TEST(Filter, DateTest) {
    FilterSettings f;
    f.date = DosDate(2011, 6, 15);
    const std::uint16_t day = DosDate(2011, 6, 15);
    const std::uint16_t dayBefore = DosDate(2011, 6, 14);
    const std::uint16_t nextYear = DosDate(2012, 1, 1);

    f.dateMode = FilterSettings::kDateOn;
    EXPECT_TRUE(PassesFilter(File("a", "", 0, day), f));
    EXPECT_FALSE(PassesFilter(File("a", "", 0, dayBefore), f));
    f.dateMode = FilterSettings::kDateBefore;
    EXPECT_TRUE(PassesFilter(File("a", "", 0, dayBefore), f));
    EXPECT_FALSE(PassesFilter(File("a", "", 0, day), f));
    f.dateMode = FilterSettings::kDateAfter;
    EXPECT_TRUE(PassesFilter(File("a", "", 0, nextYear), f));
    EXPECT_FALSE(PassesFilter(File("a", "", 0, day), f));
    for (std::int32_t mode : {0, 4, -1}) {
        f.dateMode = mode;
        EXPECT_TRUE(PassesFilter(File("a", "", 0, dayBefore), f)) << mode;
    }
}

TEST(Filter, SizeTest) {
    FilterSettings f;
    f.sizeMode = FilterSettings::kSizeEqual;
    f.sizeValue1 = 1.5;
    EXPECT_TRUE(PassesFilter(File("a", "", 1536), f));
    EXPECT_TRUE(PassesFilter(File("a", "", 1541), f));   // 1.5049 KB shows as 1.50
    EXPECT_FALSE(PassesFilter(File("a", "", 1546), f));  // 1.5098 KB shows as 1.51
    EXPECT_FALSE(PassesFilter(File("a", "", 1530), f));  // 1.4941 KB shows as 1.49

    f.sizeMode = FilterSettings::kSizeSmaller;
    f.sizeValue1 = 2;
    EXPECT_TRUE(PassesFilter(File("a", "", 2047), f));
    EXPECT_FALSE(PassesFilter(File("a", "", 2048), f));
    f.sizeMode = FilterSettings::kSizeLarger;
    EXPECT_FALSE(PassesFilter(File("a", "", 2048), f));
    EXPECT_TRUE(PassesFilter(File("a", "", 2049), f));

    f.sizeMode = FilterSettings::kSizeBetween;
    f.sizeValue1 = 1;
    f.sizeValue2 = 4;
    EXPECT_FALSE(PassesFilter(File("a", "", 1024), f));  // lower bound excluded
    EXPECT_TRUE(PassesFilter(File("a", "", 1025), f));
    EXPECT_TRUE(PassesFilter(File("a", "", 4096), f));  // upper bound included
    EXPECT_FALSE(PassesFilter(File("a", "", 4097), f));
    f.sizeValue2 = 0;  // no upper value: only the lower bound
    EXPECT_TRUE(PassesFilter(File("a", "", 1ull << 40), f));
    f.sizeValue2 = 0.5;  // below the lower value: only the lower bound
    EXPECT_TRUE(PassesFilter(File("a", "", 1ull << 40), f));
    EXPECT_FALSE(PassesFilter(File("a", "", 1000), f));
    f.sizeValue2 = 1;  // equal bounds: an empty range
    EXPECT_FALSE(PassesFilter(File("a", "", 1025), f));

    f.sizeMode = 9;
    EXPECT_TRUE(PassesFilter(File("a", "", 0), f));
}

TEST(Filter, NameTest) {
    FilterSettings f;
    EXPECT_TRUE(PassesFilter(File("anything", ""), f));  // empty text passes everything
    f.nameText = "rep";
    EXPECT_TRUE(PassesFilter(File("Report.doc", "doc"), f));
    EXPECT_TRUE(PassesFilter(File("MyReport.txt", "txt"), f));
    EXPECT_FALSE(PassesFilter(File("re port.txt", "txt"), f));
    f.nameText =
        "\xC3\x9C"
        "BER";  // "ÜBER"
    EXPECT_TRUE(PassesFilter(File("\xC3\xBC"
                                  "ber.txt",
                                  "txt"),
                             f));  // "über.txt"
    EXPECT_FALSE(PassesFilter(File("uber.txt", "txt"), f));
    f.nameText =
        "\xFF"
        "A";  // a byte that is not UTF-8 only matches itself
    EXPECT_TRUE(PassesFilter(File("x\xFF"
                                  "a",
                                  ""),
                             f));
    EXPECT_FALSE(PassesFilter(File("x\xC3\xBF"
                                   "a",
                                   ""),
                              f));  // "ÿ" as UTF-8 is a different thing
}

TEST(Filter, AllTestsMustPass) {
    FilterSettings f = Category(1);
    f.nameText = "rep";
    f.sizeMode = FilterSettings::kSizeLarger;
    f.sizeValue1 = 1;
    EXPECT_TRUE(PassesFilter(File("Report.doc", "doc", 2048), f));
    EXPECT_FALSE(PassesFilter(File("Report.doc", "doc", 100), f));
    EXPECT_FALSE(PassesFilter(File("Report.txt", "txt", 2048), f));
    EXPECT_FALSE(PassesFilter(File("Notes.doc", "doc", 2048), f));
}

TEST(LowerCaseUtf8, ScriptsAndInvalidBytes) {
    EXPECT_EQ(LowerCaseUtf8("ABC xyz 09"), "abc xyz 09");
    EXPECT_EQ(LowerCaseUtf8("\xC3\x80\xC3\x9E\xC3\x97"), "\xC3\xA0\xC3\xBE\xC3\x97");  // ÀÞ× -> àþ×
    EXPECT_EQ(LowerCaseUtf8("\xC4\x80\xC5\x81\xC5\xB8\xC5\xBD"), "\xC4\x81\xC5\x82\xC3\xBF\xC5\xBE");  // ĀŁŸŽ
    EXPECT_EQ(LowerCaseUtf8("\xCE\x91\xCE\xA9\xCE\x86\xCE\x8F"), "\xCE\xB1\xCF\x89\xCE\xAC\xCF\x8E");  // ΑΩΆΏ
    EXPECT_EQ(LowerCaseUtf8("\xD0\x81\xD0\x90\xD0\xAF\xD2\x90"), "\xD1\x91\xD0\xB0\xD1\x8F\xD2\x91");  // ЁАЯҐ
    EXPECT_EQ(LowerCaseUtf8("\xC4\xB0"), "i");                                                         // İ
    // Truncated, overlong and surrogate sequences stay byte for byte, and the bytes after them are still
    // read.
    EXPECT_EQ(LowerCaseUtf8("\xC3"), "\xC3");
    EXPECT_EQ(LowerCaseUtf8("\xC1\x81Z"), "\xC1\x81z");
    EXPECT_EQ(LowerCaseUtf8("\xED\xA0\x80"
                            "A"),
              "\xED\xA0\x80"
              "a");
    EXPECT_EQ(LowerCaseUtf8("\xE2\x82"), "\xE2\x82");
}

}  // namespace
}  // namespace lumacore
