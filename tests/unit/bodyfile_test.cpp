// Body file lines as mactime reads them: eleven '|'-separated fields per line, whatever a name holds.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "session/bodyfile.h"

namespace lumacore {
namespace {

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line.substr(0, line.size() - 1));
    for (std::string field; std::getline(in, field, '|');) fields.push_back(field);
    return fields;
}

TEST(Bodyfile, LineHasElevenFieldsWithTimesInUnixSeconds) {
    ListedFile file;
    file.name = "notes.txt";
    file.path = "Documents/notes.txt";
    file.size = 1234;
    file.deleted = true;
    file.id = 80;
    file.times.modified = FileTime{1700000000, 5};
    file.times.accessed = FileTime{1700000100, 0};
    file.times.created = FileTime{-86400, 0};  // before 1970 stays negative, as mactime takes it
    const std::string line = BodyfileLine(file);
    ASSERT_EQ(line.back(), '\n');
    EXPECT_EQ(Fields(line), (std::vector<std::string>{"0", "/Documents/notes.txt (deleted)", "80", "r/rrwxrwxrwx",
                                                      "0", "0", "1234", "1700000100", "1700000000", "0",
                                                      "-86400"}));
    file.deleted = false;
    file.times = {};
    file.changed = FileTime{42, 0};
    EXPECT_EQ(BodyfileLine(file), "0|/Documents/notes.txt|80|r/rrwxrwxrwx|0|0|1234|0|0|42|0\n");
}

TEST(Bodyfile, SeparatorsAndControlCharactersInNamesCannotSplitTheLine) {
    ListedFile file;
    file.path = "a|b/line\nbreak\x7f\ttab";
    const std::string line = BodyfileLine(file);
    EXPECT_EQ(line.find('\n'), line.size() - 1);
    EXPECT_EQ(Fields(line).size(), 11u);
    EXPECT_EQ(Fields(line)[1], "/a^b/line^break^^tab");
}

TEST(Bodyfile, ModesAsTheSleuthKitWritesThem) {
    EXPECT_EQ(BodyfileModeText(0), "r/rrwxrwxrwx");
    EXPECT_EQ(BodyfileModeText(0100644), "r/rrw-r--r--");
    EXPECT_EQ(BodyfileModeText(040755), "d/drwxr-xr-x");
    EXPECT_EQ(BodyfileModeText(0120777), "l/lrwxrwxrwx");
    EXPECT_EQ(BodyfileModeText(0104755), "r/rrwsr-xr-x");
    EXPECT_EQ(BodyfileModeText(0102644), "r/rrw-r-Sr--");
    EXPECT_EQ(BodyfileModeText(041777), "d/drwxrwxrwt");
    EXPECT_EQ(BodyfileModeText(041776), "d/drwxrwxrwT");
    EXPECT_EQ(BodyfileModeText(0000644), "-/-rw-r--r--");  // a deleted inode with its type cleared
}

}  // namespace
}  // namespace lumacore
