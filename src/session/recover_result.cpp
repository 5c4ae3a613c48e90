#include "session/recover_result.h"

namespace lumacore {

std::vector<std::string> FailureLines(const std::vector<RecoveryFailure>& before,
                                      const RecoveredFileWriter& writer) {
    std::vector<std::string> lines;
    for (const RecoveryFailure& failure : before) lines.push_back(failure.name + ": " + failure.message);
    for (const RecoveryFailure& failure : writer.failures())
        lines.push_back(failure.name + ": " + failure.message);
    return lines;
}

}  // namespace lumacore
