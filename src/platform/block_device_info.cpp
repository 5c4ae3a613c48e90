#include "platform/block_device_info.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "core/disk_info.h"

namespace lumacore {

namespace {

namespace fs = std::filesystem;

std::string ReadSysText(const fs::path& path) {
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    return text;  // sysfs ends its texts with a newline; getline drops it and keeps trailing spaces
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

bool AllDigits(const std::string& s, std::size_t from, std::size_t to) {
    if (from >= to) return false;
    for (std::size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

std::uint32_t BusTypeOf(const fs::path& sysBlockEntry, const std::string& name) {
    std::error_code ec;
    const std::string target = fs::canonical(sysBlockEntry, ec).string();
    if (StartsWith(name, "nvme")) return kBusNvme;
    if (StartsWith(name, "mmcblk")) return kBusSd;
    if (target.find("/usb") != std::string::npos) return kBusUsb;
    if (target.find("/ata") != std::string::npos) return kBusSata;
    if (target.find("/session") != std::string::npos) return kBusIscsi;  // iSCSI sessions
    if (target.find("/end_device-") != std::string::npos) return kBusSas;
    if (target.find("/virtio") != std::string::npos) return kBusVirtual;
    if (StartsWith(name, "sd")) return kBusScsi;
    if (StartsWith(name, "hd")) return kBusAta;
    return kBusUnknown;
}

// Orders sda < sdb < ... < sdz < sdaa and nvme0n1 < nvme0n2 < nvme1n1.
bool NaturalLess(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

}  // namespace

bool IsListedDiskName(const std::string& name) {
    if (StartsWith(name, "sd") || StartsWith(name, "vd") || StartsWith(name, "xvd") || StartsWith(name, "hd")) {
        return name.size() > 2;
    }
    if (StartsWith(name, "nvme")) {
        // nvme<ctrl>n<ns>; nvme<ctrl>c<path>n<ns> are hidden multipath paths of the same namespace.
        const auto n = name.find('n', 4);
        return n != std::string::npos && AllDigits(name, 4, n) && AllDigits(name, n + 1, name.size());
    }
    if (StartsWith(name, "mmcblk")) return AllDigits(name, 6, name.size());  // not mmcblk0boot0 / rpmb
    return false;
}

std::vector<BlockDeviceInfo> ListWholeDisks(const std::string& sysRoot) {
    std::vector<BlockDeviceInfo> disks;
    std::error_code ec;
    const fs::path blockDir = fs::path(sysRoot) / "block";
    for (const auto& entry : fs::directory_iterator(blockDir, ec)) {
        const std::string name = entry.path().filename().string();
        if (!IsListedDiskName(name)) continue;
        BlockDeviceInfo info;
        info.name = name;
        info.devPath = "/dev/" + name;
        info.vendor = ReadSysText(entry.path() / "device" / "vendor");
        info.model = ReadSysText(entry.path() / "device" / "model");
        if (info.model.empty()) info.model = name;
        info.removable = ReadSysText(entry.path() / "removable") == "1";
        info.busType = BusTypeOf(entry.path(), name);
        disks.push_back(std::move(info));
    }
    std::sort(disks.begin(), disks.end(),
              [](const BlockDeviceInfo& a, const BlockDeviceInfo& b) { return NaturalLess(a.name, b.name); });
    return disks;
}

}  // namespace lumacore
