#pragma once

#include <string>

#include "core/result.h"
#include "recovery/recovered_file_writer.h"

namespace lumacore {

// --overwrite ask|yes|no|all
Result<OverwritePolicy> OverwritePolicyFrom(const std::string& text);

// The overwrite question on the terminal (stderr and stdin). Without an answer (end of input) nothing is
// overwritten and the run stops, as Cancel would.
OverwriteAnswer AskOverwriteOnTerminal(const std::string& fileName);

}  // namespace lumacore
