#pragma once

#include <string>

#include "core/result.h"
#include "platform/device.h"
#include "platform/file_descriptor.h"

namespace lumacore {

// Opens a block device that this unprivileged process may not open itself, through the privileged helper
// (pkexec asks the user to authorise once per session for reading, every time for writing). Images never
// need it. AccessDenied when the user refuses or no helper is installed; then the program says it needs
// administrator rights.
//
// LUMACORE_DEVICE_HELPER_FD names a socket already connected to a running read helper (tests, or a
// launcher that started one); LUMACORE_HELPER_DIR the folder of the helper programs (default: the
// installed ../libexec/lumacore beside the program).
Result<FileDescriptor> OpenThroughHelper(const std::string& path, AccessMode mode);

}  // namespace lumacore
