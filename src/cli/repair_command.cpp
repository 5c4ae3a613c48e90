// `repair dbx|pst FILE... --to DIR`: repaired copies of mail store files, with the repair log.
#include <filesystem>
#include <iostream>

#include "cli/arguments.h"
#include "cli/commands.h"
#include "cli/overwrite_prompt.h"
#include "repair/mail_store_signature.h"
#include "repair/repair_run.h"

namespace lumacore {

int RunRepairCommand(const std::vector<std::string>& arguments) {
    OptionParser options(
        "lumacore-cli repair",
        "Writes repaired copies of mail store files into a folder and prints the repair log; the "
        "chosen files are only read.");
    options.Words("dbx|pst FILE", "the kind of mail store, then its files")
        .Value("--to", "DIR", "the output folder; required");
    AddOverwriteOption(options);
    options.Example("lumacore-cli repair dbx Inbox.dbx Sent.dbx --to repaired", "two mail folder files");
    auto fail = [](const std::string& message, int code) {
        std::cerr << "lumacore-cli repair: " << message << '\n';
        return code;
    };
    if (auto parsed = options.Parse(arguments); !parsed) return fail(parsed.error().message, kExitUsage);
    if (PrintHelpIfAsked(options)) return kExitOk;
    const auto& words = options.positional();
    if (words.size() < 2 || (words[0] != "dbx" && words[0] != "pst")) {
        return fail("usage: repair dbx|pst FILE... --to DIR [--overwrite ask|yes|no|all]", kExitUsage);
    }
    const auto destination = options.Get("--to");
    if (!destination) return fail("choose the output folder with --to DIR", kExitUsage);
    auto policy = OverwritePolicyFrom(options.Get("--overwrite").value_or("ask"));
    if (!policy) return fail(policy.error().message, kExitUsage);
    std::error_code error;
    std::filesystem::create_directories(*destination, error);
    if (!std::filesystem::is_directory(*destination))
        return fail("cannot use '" + *destination + "' as the output folder", kExitFailure);

    std::vector<std::filesystem::path> files;
    for (std::size_t i = 1; i < words.size(); ++i) {
        if (!std::filesystem::is_regular_file(words[i]))
            return fail("'" + words[i] + "' is not a file", kExitUsage);
        files.emplace_back(words[i]);
    }
    const MailRepairKind kind = words[0] == "pst" ? kRepairPersonalFolder : kRepairMailFolder;
    // Every file is checked before the first copy is written: a wrong file is a mistake to mend first.
    for (const auto& file : files) {
        if (!HasMailStoreSignature(file, kind)) {
            return fail(
                "'" + file.string() + "': not a " + (kind == kRepairPersonalFolder ? "PST" : "DBX") + " file",
                kExitFailure);
        }
    }
    const std::string log = RunMailRepair(files, *destination, kind, *policy, AskOverwriteOnTerminal);
    std::cout << log;
    const bool anyFailed = log.find(kRepairLogFailed) != std::string::npos ||
                           log.find(kRepairLogUnsupported) != std::string::npos;
    return anyFailed ? kExitPartial : kExitOk;
}

}  // namespace lumacore
