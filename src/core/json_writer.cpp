#include "core/json_writer.h"

#include <cstdio>
#include <ostream>

namespace lumacore {

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0 when the byte does not start one.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (b0 < 0x80) return 1;
    if ((b0 & 0xE0) == 0xC0)
        n = 2, cp = b0 & 0x1F;
    else if ((b0 & 0xF0) == 0xE0)
        n = 3, cp = b0 & 0x0F;
    else if ((b0 & 0xF8) == 0xF0)
        n = 4, cp = b0 & 0x07;
    else
        return 0;
    if (i + n > text.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        const auto b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b & 0x3F);
    }
    static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMinimum[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

std::string JsonWriter::Quote(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        const std::size_t n = Utf8SequenceLength(text, i);
        char escape[8];
        if (n == 0) {  // stray byte: its Latin-1 character
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(text.substr(i, n));
        } else if (c == '"') {
            out += "\\\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c < 0x20 || c == 0x7F) {
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out.push_back(static_cast<char>(c));
        }
        i += n;
    }
    out.push_back('"');
    return out;
}

void JsonWriter::HandOver(std::size_t atLeast) {
    if (sink_ == nullptr || out_.size() < atLeast) return;
    sink_->write(out_.data(), static_cast<std::streamsize>(out_.size()));
    out_.clear();
}

void JsonWriter::Separate() {
    // Large enough that the stream sees few writes, small enough to bound what is held.
    constexpr std::size_t kHandOverBytes = 64 * 1024;
    HandOver(kHandOverBytes);
    if (first_.empty()) return;
    if (!first_.back()) out_.push_back(',');
    first_.back() = false;
    out_.push_back('\n');
    out_.append(first_.size() * 2, ' ');
}

void JsonWriter::Key(std::string_view key) {
    Separate();
    if (!key.empty()) {
        out_ += Quote(key);
        out_ += ": ";
    }
}

void JsonWriter::BeginObject(std::string_view key) {
    Key(key);
    out_.push_back('{');
    first_.push_back(true);
}

void JsonWriter::EndObject() {
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty) {
        out_.push_back('\n');
        out_.append(first_.size() * 2, ' ');
    }
    out_.push_back('}');
    if (first_.empty()) {
        out_.push_back('\n');
        HandOver(0);
    }
}

void JsonWriter::BeginArray(std::string_view key) {
    Key(key);
    out_.push_back('[');
    first_.push_back(true);
}

void JsonWriter::EndArray() {
    const bool empty = first_.back();
    first_.pop_back();
    if (!empty) {
        out_.push_back('\n');
        out_.append(first_.size() * 2, ' ');
    }
    out_.push_back(']');
}

void JsonWriter::String(std::string_view key, std::string_view value) {
    Key(key);
    out_ += Quote(value);
}

void JsonWriter::Number(std::string_view key, std::int64_t value) {
    Key(key);
    out_ += std::to_string(value);
}

void JsonWriter::Unsigned(std::string_view key, std::uint64_t value) {
    Key(key);
    out_ += std::to_string(value);
}

void JsonWriter::Bool(std::string_view key, bool value) {
    Key(key);
    out_ += value ? "true" : "false";
}

void JsonWriter::Null(std::string_view key) {
    Key(key);
    out_ += "null";
}

}  // namespace lumacore
