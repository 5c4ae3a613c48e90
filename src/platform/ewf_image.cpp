#include "platform/ewf_image.h"

#include <libewf.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>

namespace lumacore {

namespace {

// EWF version 1 ("EVF\t\r\n\xff\0") as ewfacquire and most acquisition tools write it.
constexpr std::array<unsigned char, 8> kEwfSignature = {'E', 'V', 'F', 0x09, 0x0D, 0x0A, 0xFF, 0x00};

// libewf reads at most this much per call (its size argument is a signed size).
constexpr std::size_t kMaxReadPerCall = 64u << 20;

std::string ErrorText(libewf_error_t* error) {
    if (error == nullptr) return "unknown error";
    std::array<char, 1024> text{};
    libewf_error_sprint(error, text.data(), text.size());
    libewf_error_free(&error);
    std::string message(text.data());
    // libewf puts one line per level of its call stack; the first says what went wrong.
    if (const auto newline = message.find('\n'); newline != std::string::npos) message.resize(newline);
    return message;
}

}  // namespace

struct EwfImage::Handle {
    libewf_handle_t* handle = nullptr;
    ~Handle() {
        if (handle == nullptr) return;
        libewf_handle_close(handle, nullptr);
        libewf_handle_free(&handle, nullptr);
    }
};

bool IsEwfImage(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<char, kEwfSignature.size()> head{};
    if (!in.read(head.data(), head.size())) return false;
    return std::memcmp(head.data(), kEwfSignature.data(), head.size()) == 0;
}

EwfImage::EwfImage(std::unique_ptr<Handle> handle, std::string path, std::uint64_t size)
    : handle_(std::move(handle)), path_(std::move(path)), size_(size) {}

EwfImage::~EwfImage() = default;

Result<std::unique_ptr<EwfImage>> EwfImage::Open(const std::string& path) {
    const auto fail = [&](const std::string& what, libewf_error_t* error) {
        const std::string detail = error != nullptr ? " (" + ErrorText(error) + ")" : std::string();
        return Error::Make(ErrorKind::Corrupt, "cannot read the E01 image " + path + ": " + what + detail);
    };
    libewf_error_t* error = nullptr;
    char** segments = nullptr;
    int segmentCount = 0;
    // The set is found by its naming scheme (.E01, .E02, ...); a file named otherwise is read alone.
    char* alone[] = {const_cast<char*>(path.c_str())};
    const bool globbed =
        libewf_glob(path.c_str(), path.size(), LIBEWF_FORMAT_UNKNOWN, &segments, &segmentCount, &error) == 1;
    if (!globbed) {
        libewf_error_free(&error);
        segments = alone;
        segmentCount = 1;
    }
    const auto freeSegments = [&] {
        if (globbed) libewf_glob_free(segments, segmentCount, nullptr);
    };
    auto handle = std::make_unique<Handle>();
    if (libewf_handle_initialize(&handle->handle, &error) != 1) {
        freeSegments();
        return fail("out of memory", error);
    }
    const int opened = libewf_handle_open(handle->handle, segments, segmentCount, LIBEWF_OPEN_READ, &error);
    freeSegments();
    if (opened != 1) return fail("damaged or incomplete", error);
    size64_t size = 0;
    // libewf opens a set whose last segment was cut off (the copy ended early, the download broke) and
    // only fails later, read by read: say so at once instead.
    const int corrupted = libewf_handle_segment_files_corrupted(handle->handle, &error);
    if (corrupted != 0) return fail("damaged or incomplete", corrupted < 0 ? error : nullptr);
    if (libewf_handle_get_media_size(handle->handle, &size, &error) != 1) return fail("no media size", error);
    if (size == 0) return fail("it holds no media data", nullptr);
    return std::unique_ptr<EwfImage>(new EwfImage(std::move(handle), path, size));
}

Result<std::size_t> EwfImage::ReadAt(std::uint64_t offset, std::span<std::byte> out) {
    if (offset >= size_) return std::size_t{0};
    const std::uint64_t available = size_ - offset;
    const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), available));
    const std::lock_guard lock(mutex_);
    std::size_t done = 0;
    while (done < wanted) {
        const std::size_t piece = std::min(wanted - done, kMaxReadPerCall);
        libewf_error_t* error = nullptr;
        const ssize_t n = libewf_handle_read_random(handle_->handle, out.data() + done, piece,
                                                    static_cast<off64_t>(offset + done), &error);
        if (n < 0) {
            // A chunk whose checksum or compression is broken: the image cannot vouch for these bytes.
            return Error::Io("cannot read the E01 image " + path_ + " at byte " +
                                 std::to_string(offset + done) + ": " + ErrorText(error),
                             EIO, offset + done);
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

Result<void> EwfImage::WriteAt(std::uint64_t, std::span<const std::byte>) {
    return Error::Make(ErrorKind::Unsupported, "an E01 image is read-only: " + path_);
}

}  // namespace lumacore
