#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/result.h"
#include "platform/device_command_line.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace lumacore {

// Scripts branch on these; the usage text and the manual page list them.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,  // the operation could not be done (device unreadable, destination refused, ...)
    kExitUsage = 2,    // bad command line or input: unknown option, missing or unreadable image
    kExitPartial = 3,  // done in part: some files failed, or the run was cancelled
};

// A command's own options: flags, single values and repeatable values, all "--name" or "--name VALUE"
// (also "--name=VALUE"). Positional words are kept in order. `--help`/`-h` is always known: it asks for
// the help text, which lists every option with its description and the examples.
class OptionParser {
  public:
    // `usage` names the command as typed ("lumacore-cli scan"); `summary` says what it does.
    explicit OptionParser(const std::string& usage = "lumacore-cli", const std::string& summary = {});
    ~OptionParser();
    OptionParser(const OptionParser&) = delete;
    OptionParser& operator=(const OptionParser&) = delete;

    OptionParser& Flag(const std::string& name, const std::string& help = {});
    OptionParser& Value(const std::string& name, const std::string& valueName = "VALUE",
                        const std::string& help = {});
    OptionParser& Repeatable(const std::string& name, const std::string& valueName = "VALUE",
                             const std::string& help = {});
    // Describes the positional words in the help text (they are taken whether described or not).
    OptionParser& Words(const std::string& valueName, const std::string& help);
    OptionParser& Example(const std::string& commandLine, const std::string& what);
    OptionParser& Note(const std::string& text);

    Result<void> Parse(const std::vector<std::string>& arguments);

    bool HelpAsked() const { return helpAsked_; }
    std::string Help() const;

    bool Has(const std::string& name) const;
    std::optional<std::string> Get(const std::string& name) const;
    std::vector<std::string> GetAll(const std::string& name) const;
    const std::vector<std::string>& positional() const { return positional_; }

  private:
    CLI::Option* Add(const std::string& name, const std::string& valueName, const std::string& help);

    std::unique_ptr<CLI::App> app_;
    std::map<std::string, CLI::Option*> options_;
    CLI::Option* words_ = nullptr;
    bool wordsDescribed_ = false;
    std::vector<std::string> positional_;
    std::string notes_;
    std::string examples_;
    bool helpAsked_ = false;
};

// Prints the command's help on stdout when it was asked for; true when it was (the command then ends
// with kExitOk).
bool PrintHelpIfAsked(const OptionParser& options);

}  // namespace lumacore
