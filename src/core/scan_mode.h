#pragma once

namespace lumacore {

// The four recovery modes of the home page.
enum ScanMode : int {
    SCAN_DELETED = 10000,
    SCAN_PARTITION = 10001,
    SCAN_FORMATTED = 10002,
    SCAN_RAW = 10003,
};

}  // namespace lumacore
