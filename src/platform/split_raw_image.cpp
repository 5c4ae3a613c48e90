#include "platform/split_raw_image.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace lumacore {

namespace {

// Acquisition tools number segments with three digits (999 pieces); `split -a` can use more, but a set
// of more pieces than this is a name that only looks like a set.
constexpr std::size_t kMaxSegments = 99999;

}  // namespace

std::vector<std::string> SplitRawSegments(const std::string& path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos) return {};
    const std::string digits = path.substr(dot + 1);
    if (digits.size() < 3 || digits.size() > 5 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) ||
        std::stoul(digits) != 1) {
        return {};
    }
    std::vector<std::string> segments;
    for (std::size_t number = 1; number <= kMaxSegments; ++number) {
        std::string suffix = std::to_string(number);
        if (suffix.size() > digits.size()) break;
        suffix.insert(0, digits.size() - suffix.size(), '0');
        std::string segment = path.substr(0, dot + 1) + suffix;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(segment, ec)) break;
        segments.push_back(std::move(segment));
    }
    return segments;
}

Result<std::unique_ptr<SplitRawImage>> SplitRawImage::Open(const std::vector<std::string>& paths) {
    if (paths.size() < 2)
        return Error::Make(ErrorKind::InvalidArgument, "a split image needs two segments or more");
    std::vector<Segment> segments;
    std::uint64_t size = 0;
    for (const std::string& path : paths) {
        auto device = Device::Open(path, AccessMode::ReadOnly);
        if (!device) return device.error();
        const std::uint64_t length = (*device)->Size();
        if (length > UINT64_MAX - size)
            return Error::Corrupt("the segments of " + paths.front() + " are too large");
        segments.push_back({std::move(*device), size});
        size += length;
    }
    return std::unique_ptr<SplitRawImage>(new SplitRawImage(std::move(segments), size));
}

Result<std::size_t> SplitRawImage::ReadAt(std::uint64_t offset, std::span<std::byte> out) {
    // The last segment starting at or before `offset`.
    auto it = std::upper_bound(segments_.begin(), segments_.end(), offset,
                               [](std::uint64_t at, const Segment& s) { return at < s.start; });
    if (it == segments_.begin()) return std::size_t{0};
    --it;
    std::size_t done = 0;
    while (done < out.size() && it != segments_.end()) {
        const std::uint64_t at = offset + done - it->start;
        const std::uint64_t length = it->device->Size();
        if (at < length) {
            const std::size_t piece =
                static_cast<std::size_t>(std::min<std::uint64_t>(out.size() - done, length - at));
            auto read = it->device->ReadAt(at, out.subspan(done, piece));
            if (!read) return read.error();
            done += *read;
            if (*read < piece) break;  // a segment shorter than it was when opened: stop honestly
        }
        ++it;
    }
    return done;
}

Result<void> SplitRawImage::WriteAt(std::uint64_t, std::span<const std::byte>) {
    return Error::Make(ErrorKind::Unsupported, "a split image is opened read-only");
}

}  // namespace lumacore
