#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

namespace lumacore {

// A small streaming JSON writer: objects and arrays nest, commas and indentation are handled, strings
// are escaped. Bytes that are not valid UTF-8 (labels and names read from disks can hold anything) are
// written as the Latin-1 character of the same value, so the output is always valid JSON.
class JsonWriter {
  public:
    JsonWriter() = default;
    // Writes into `sink` as it goes (a listing of a million files needs no copy of itself in memory);
    // text() then holds only what has not been handed over yet. The last EndObject hands over the rest.
    explicit JsonWriter(std::ostream& sink) : sink_(&sink) {}

    void BeginObject(std::string_view key = {});
    void EndObject();
    void BeginArray(std::string_view key = {});
    void EndArray();

    void String(std::string_view key, std::string_view value);
    void Number(std::string_view key, std::int64_t value);
    void Unsigned(std::string_view key, std::uint64_t value);
    void Bool(std::string_view key, bool value);
    void Null(std::string_view key);

    const std::string& text() const { return out_; }

    static std::string Quote(std::string_view text);

  private:
    void Key(std::string_view key);
    void Separate();
    void HandOver(std::size_t atLeast);

    std::ostream* sink_ = nullptr;
    std::string out_;
    std::vector<bool> first_;  // per open container: no member written yet
};

}  // namespace lumacore
