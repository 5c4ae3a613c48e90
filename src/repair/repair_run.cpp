#include "repair/repair_run.h"

#include <system_error>

namespace lumacore {

std::string RunMailRepair(const std::vector<std::filesystem::path>& files, const std::filesystem::path& outputFolder,
                          MailRepairKind kind, OverwritePolicy policy, const AskOverwrite& ask,
                          const std::function<void(const std::string&)>& logChanged) {
    std::string log;
    for (const std::filesystem::path& source : files) {
        const std::string name = source.filename().string();
        const std::filesystem::path target = outputFolder / name;
        std::error_code error;
        if (policy != OverwritePolicy::Always && std::filesystem::exists(std::filesystem::symlink_status(target, error))) {
            OverwriteAnswer answer = OverwriteAnswer::No;
            if (policy == OverwritePolicy::Ask) answer = ask ? ask(name) : OverwriteAnswer::No;
            if (answer == OverwriteAnswer::Cancel) break;
            if (answer == OverwriteAnswer::No) continue;
            if (answer == OverwriteAnswer::YesToAll) policy = OverwritePolicy::Always;
        }
        const std::int32_t result =
            kind == kRepairPersonalFolder ? RepairPersonalFolder(source, target) : RepairMailFolder(source, target);
        log += kRepairLogSelected + name + "\r\n";
        log += result == kRepairUnsupported ? kRepairLogUnsupported
               : result == kRepairFailed    ? kRepairLogFailed
                                            : kRepairLogRepaired;
        log += "\r\n";
        log += kRepairLogSeparator;
        log += "\r\n";
        if (logChanged) logChanged(log);
    }
    return log;
}

}  // namespace lumacore
