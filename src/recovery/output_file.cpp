#include "recovery/output_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace lumacore {

Result<void> OutputFile::Write(std::span<const std::byte> data) {
    std::size_t done = 0;
    while (done < data.size()) {
        const std::uint64_t at = written_ + done;
        if (at > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - (data.size() - done)) {
            return Error::Io("file too large: " + name_, EFBIG, at);
        }
        const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(at));
        if (n < 0) {
            if (errno == EINTR) continue;
            const int code = errno;
            written_ += done;
            return Error::Io("write error on " + name_ + ": " + std::strerror(code), code, at);
        }
        if (n == 0) {  // no progress: retrying would spin for ever
            written_ += done;
            return Error::Io("write error on " + name_ + ": " + std::strerror(ENOSPC), ENOSPC, at);
        }
        done += static_cast<std::size_t>(n);
    }
    written_ += done;
    return {};
}

Result<void> OutputFile::Skip(std::uint64_t bytes) {
    if (bytes > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) - written_) {
        return Error::Io("file too large: " + name_, EFBIG, written_);
    }
    written_ += bytes;
    return {};
}

}  // namespace lumacore
