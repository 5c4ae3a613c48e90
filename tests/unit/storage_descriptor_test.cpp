#include <gtest/gtest.h>

#include "core/byte_reader.h"
#include "disk/storage_descriptor.h"
#include "platform/device_map.h"

namespace lumacore {
namespace {

TEST(StorageDescriptor, ModelTextFromVendorAndProduct) {
    auto both = ParseStorageDescriptor(BuildStorageDescriptor("ATA     ", "Maker SSD 1TB   ", true, 11));
    ASSERT_TRUE(both);
    EXPECT_EQ(both->modelText, "ATA      Maker SSD 1TB   ");  // trailing spaces kept as stored
    EXPECT_TRUE(both->removable);
    EXPECT_EQ(both->busType, 11u);
    EXPECT_EQ(both->deviceType, 0);

    auto productOnly = ParseStorageDescriptor(BuildStorageDescriptor("", "Disk image a.img", false, 15));
    ASSERT_TRUE(productOnly);
    EXPECT_EQ(productOnly->modelText, "Disk image a.img");

    auto optical = ParseStorageDescriptor(BuildStorageDescriptor("", "DVD", false, 2, 5));
    ASSERT_TRUE(optical);
    EXPECT_EQ(optical->deviceType, 5);
}

TEST(StorageDescriptor, HostileOffsetsAndLengthsStayInBounds) {
    EXPECT_FALSE(ParseStorageDescriptor({}));

    auto bytes = BuildStorageDescriptor("V", std::string(1000, 'p'), false, 0);
    auto parsed = ParseStorageDescriptor(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->modelText.size(), 263u);  // fits the 264-byte model field with its NUL

    PutLe(bytes, 12, 0xFFFFFFF0u, 4);  // vendor offset far outside the buffer
    PutLe(bytes, 16, 0xFFFFFFF0u, 4);
    parsed = ParseStorageDescriptor(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->modelText, " ");
}

}  // namespace
}  // namespace lumacore
