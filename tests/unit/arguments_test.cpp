#include <gtest/gtest.h>

#include <cstdlib>

#include "cli/arguments.h"
#include "platform/system_device_map.h"

namespace lumacore {
namespace {

TEST(CommandLine, GlobalOptionsAnywhereThenTheEnvironmentList) {
    setenv("LUMACORE_TEST_IMAGES", "/x/c.img::/x/d.img", 1);
    auto line = ParseCommandLine({"--image", "a.img", "disks", "--json", "--image=b.img", "--no-devices"},
                                 "LUMACORE_TEST_IMAGES");
    unsetenv("LUMACORE_TEST_IMAGES");
    ASSERT_TRUE(line);
    EXPECT_EQ(line->command, "disks");
    EXPECT_EQ(line->global.images, (std::vector<std::string>{"a.img", "b.img", "/x/c.img", "/x/d.img"}));
    EXPECT_FALSE(line->global.includeBlockDevices);
    EXPECT_EQ(line->arguments, std::vector<std::string>{"--json"});

    EXPECT_FALSE(ParseCommandLine({"disks", "--image"}, nullptr));
}

TEST(CommandLine, OptionParserTakesFlagsValuesAndRepeats) {
    OptionParser options;
    options.Flag("--json").Value("--volume").Repeatable("--only");
    ASSERT_TRUE(options.Parse({"--volume", "3", "--only=a/b", "--json", "word", "--only", "c"}));
    EXPECT_TRUE(options.Has("--json"));
    EXPECT_EQ(options.Get("--volume"), "3");
    EXPECT_EQ(options.GetAll("--only"), (std::vector<std::string>{"a/b", "c"}));
    EXPECT_EQ(options.positional(), std::vector<std::string>{"word"});
    EXPECT_FALSE(options.Get("--missing"));

    OptionParser strict;
    strict.Flag("--json").Value("--volume");
    EXPECT_FALSE(strict.Parse({"--bogus"}));
    OptionParser twice;
    twice.Value("--volume");
    EXPECT_FALSE(twice.Parse({"--volume", "1", "--volume", "2"}));
    OptionParser missing;
    missing.Value("--volume");
    EXPECT_FALSE(missing.Parse({"--volume"}));
    OptionParser flagValue;
    flagValue.Flag("--json");
    EXPECT_FALSE(flagValue.Parse({"--json=1"}));
}

TEST(CommandLine, ImageListSplitsOnColons) {
    EXPECT_EQ(SystemDeviceMap::SplitImageList(""), std::vector<std::string>{});
    EXPECT_EQ(SystemDeviceMap::SplitImageList("a:b"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(SystemDeviceMap::SplitImageList(":a::"), std::vector<std::string>{"a"});
}

}  // namespace
}  // namespace lumacore
