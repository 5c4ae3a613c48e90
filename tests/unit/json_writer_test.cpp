#include <gtest/gtest.h>

#include "core/json_writer.h"

namespace lumacore {
namespace {

TEST(JsonWriter, EscapesAndKeepsInvalidBytesValid) {
    EXPECT_EQ(JsonWriter::Quote("a\"b\\c\n"), "\"a\\\"b\\\\c\\n\"");
    EXPECT_EQ(JsonWriter::Quote(std::string("\x01", 1)), "\"\\u0001\"");
    EXPECT_EQ(JsonWriter::Quote("Grüße"), "\"Grüße\"");
    EXPECT_EQ(JsonWriter::Quote("\xE9t\xE9"), "\"\xC3\xA9t\xC3\xA9\"");  // Latin-1 bytes become characters
    EXPECT_EQ(JsonWriter::Quote("\xC0\x80"), "\"\xC3\x80\xC2\x80\"");    // overlong NUL is not UTF-8
    EXPECT_EQ(JsonWriter::Quote("\xED\xA0\x80"), "\"\xC3\xAD\xC2\xA0\xC2\x80\"");  // nor is a surrogate
}

TEST(JsonWriter, NestsObjectsAndArrays) {
    JsonWriter json;
    json.BeginObject();
    json.BeginArray("disks");
    json.BeginObject();
    json.Number("n", -1);
    json.Unsigned("size", 18446744073709551615ull);
    json.EndObject();
    json.EndArray();
    json.BeginArray("none");
    json.EndArray();
    json.Bool("ok", true);
    json.Null("x");
    json.EndObject();
    EXPECT_EQ(json.text(),
              "{\n  \"disks\": [\n    {\n      \"n\": -1,\n      \"size\": 18446744073709551615\n    }\n  ],\n"
              "  \"none\": [],\n  \"ok\": true,\n  \"x\": null\n}\n");
}

}  // namespace
}  // namespace lumacore
