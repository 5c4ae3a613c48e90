#include "cli/overwrite_prompt.h"

#include <iostream>

namespace lumacore {

void AddOverwriteOption(OptionParser& options) {
    options.Value("--overwrite", "ask|yes|no|all",
                  "an existing file: ask on the terminal (default; no answer keeps it and stops the run), "
                  "replace it (yes, all) or keep it (no)");
}

Result<OverwritePolicy> OverwritePolicyFrom(const std::string& text) {
    if (text == "ask") return OverwritePolicy::Ask;
    if (text == "yes" || text == "all") return OverwritePolicy::Always;
    if (text == "no") return OverwritePolicy::Never;
    return Error::Make(ErrorKind::InvalidArgument, "--overwrite takes ask, yes, no or all");
}

OverwriteAnswer AskOverwriteOnTerminal(const std::string& fileName) {
    for (;;) {
        std::cerr << kOverwriteExistsPrefix << fileName << "'\n"
                  << kOverwriteQuestion << " [y]es, yes to [a]ll, [n]o, [c]ancel: " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer)) return OverwriteAnswer::Cancel;
        if (answer == "y" || answer == "yes") return OverwriteAnswer::Yes;
        if (answer == "a" || answer == "all") return OverwriteAnswer::YesToAll;
        if (answer == "n" || answer == "no") return OverwriteAnswer::No;
        if (answer == "c" || answer == "cancel") return OverwriteAnswer::Cancel;
    }
}

bool ConfirmOverwrite(const std::filesystem::path& file, OverwritePolicy policy) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(file, error))) return false;
    switch (policy) {
        case OverwritePolicy::Always:
            return true;
        case OverwritePolicy::Never:
            return false;
        case OverwritePolicy::Ask:
            break;
    }
    const OverwriteAnswer answer = AskOverwriteOnTerminal(file.filename().string());
    return answer == OverwriteAnswer::Yes || answer == OverwriteAnswer::YesToAll;
}

}  // namespace lumacore
