#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/result.h"
#include "platform/device_command_line.h"

namespace lumacore {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,  // the operation could not be done (device unreadable, destination refused, ...)
    kExitUsage = 2,    // bad command line or input: unknown option, missing or unreadable image
};

// A command's own options: flags, single values and repeatable values, all "--name" or "--name VALUE"
// (also "--name=VALUE"). Positional words are kept in order.
class OptionParser {
public:
    OptionParser& Flag(const std::string& name);
    OptionParser& Value(const std::string& name);
    OptionParser& Repeatable(const std::string& name);

    Result<void> Parse(const std::vector<std::string>& arguments);

    bool Has(const std::string& name) const { return seen_.count(name) != 0; }
    std::optional<std::string> Get(const std::string& name) const;
    std::vector<std::string> GetAll(const std::string& name) const;
    const std::vector<std::string>& positional() const { return positional_; }

private:
    enum class Kind { Flag, Value, Repeatable };
    std::map<std::string, Kind> known_;
    std::map<std::string, std::vector<std::string>> seen_;
    std::vector<std::string> positional_;
};

}  // namespace lumacore
