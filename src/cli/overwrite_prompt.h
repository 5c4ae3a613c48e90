#pragma once

#include <filesystem>
#include <string>

#include "cli/arguments.h"
#include "core/result.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {

// --overwrite ask|yes|no|all
void AddOverwriteOption(OptionParser& options);
Result<OverwritePolicy> OverwritePolicyFrom(const std::string& text);

// The overwrite question on the terminal (stderr and stdin). Without an answer (end of input) nothing is
// overwritten and the run stops, as Cancel would.
OverwriteAnswer AskOverwriteOnTerminal(const std::string& fileName);

// Whether the single file `file` (a backup, a saved preview) may be replaced: false when it does not
// exist, else as the policy says, asking on the terminal for Ask.
bool ConfirmOverwrite(const std::filesystem::path& file, OverwritePolicy policy);

}  // namespace lumacore
