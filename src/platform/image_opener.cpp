#include "platform/image_opener.h"

#include <sys/stat.h>

#include "platform/ewf_image.h"
#include "platform/split_raw_image.h"

namespace lumacore {

namespace {

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

bool IsContainerImage(const std::string& path) {
    if (!IsRegularFile(path)) return false;
    return IsEwfImage(path) || SplitRawSegments(path).size() > 1;
}

std::vector<std::string> ImageFiles(const std::string& path) {
    if (IsRegularFile(path)) {
        if (std::vector<std::string> segments = SplitRawSegments(path); segments.size() > 1) return segments;
    }
    return {path};
}

Result<std::unique_ptr<BlockDevice>> OpenImage(const std::string& path, AccessMode mode) {
    if (IsRegularFile(path)) {
        if (IsEwfImage(path)) {
            auto image = EwfImage::Open(path);
            if (!image) return image.error();
            return std::unique_ptr<BlockDevice>(std::move(*image));
        }
        if (std::vector<std::string> segments = SplitRawSegments(path); segments.size() > 1) {
            auto image = SplitRawImage::Open(segments);
            if (!image) return image.error();
            return std::unique_ptr<BlockDevice>(std::move(*image));
        }
    }
    auto device = Device::Open(path, mode);
    if (!device) return device.error();
    return std::unique_ptr<BlockDevice>(std::move(*device));
}

}  // namespace lumacore
