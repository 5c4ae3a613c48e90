#include "cli/arguments.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <iostream>

namespace lumacore {

namespace {

Error UsageError(std::string message) {
    return Error::Make(ErrorKind::InvalidArgument, std::move(message));
}

}  // namespace

OptionParser::OptionParser(const std::string& usage, const std::string& summary)
    : app_(std::make_unique<CLI::App>(summary, usage)) {
    app_->set_help_flag("-h,--help", "print this help and exit");
    // Positional words may stand between options, as they always could.
    app_->positionals_at_end(false);
    words_ = app_->add_option("words", positional_)->group("");
}

OptionParser::~OptionParser() = default;

CLI::Option* OptionParser::Add(const std::string& name, const std::string& valueName,
                               const std::string& help) {
    CLI::Option* option =
        app_->add_option(name, help)->type_name(valueName)->expected(1)->allow_extra_args(false);
    options_[name] = option;
    return option;
}

OptionParser& OptionParser::Flag(const std::string& name, const std::string& help) {
    CLI::Option* option = app_->add_flag(name)->description(help);
    // "--json=1" is a mistake, not a way of saying yes.
    option->disable_flag_override();
    options_[name] = option;
    return *this;
}

OptionParser& OptionParser::Value(const std::string& name, const std::string& valueName,
                                  const std::string& help) {
    Add(name, valueName, help)->multi_option_policy(CLI::MultiOptionPolicy::Throw);
    return *this;
}

OptionParser& OptionParser::Repeatable(const std::string& name, const std::string& valueName,
                                       const std::string& help) {
    Add(name, valueName, help)->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    return *this;
}

OptionParser& OptionParser::Words(const std::string& valueName, const std::string& help) {
    words_->type_name(valueName)->description(help)->group("Words");
    wordsDescribed_ = true;
    return *this;
}

OptionParser& OptionParser::Example(const std::string& commandLine, const std::string& what) {
    examples_ += "  " + commandLine + "\n      " + what + "\n";
    return *this;
}

OptionParser& OptionParser::Note(const std::string& text) {
    notes_ += text + "\n";
    return *this;
}

Result<void> OptionParser::Parse(const std::vector<std::string>& arguments) {
    // CLI11 takes a word list last word first.
    std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
    try {
        app_->parse(reversed);
    } catch (const CLI::CallForHelp&) {
        helpAsked_ = true;
    } catch (const CLI::ParseError& error) {
        return UsageError(error.what());
    }
    return {};
}

std::string OptionParser::Help() const {
    std::string text = app_->help();
    while (text.size() > 1 && text.ends_with("\n\n")) text.pop_back();
    // Words nobody described are taken (as they always were) but not offered in the usage line.
    const auto usage = text.find("Usage:");
    if (const auto unnamed = text.find(" [...]", usage);
        !wordsDescribed_ && usage != std::string::npos && unnamed < text.find('\n', usage)) {
        text.erase(unnamed, 6);
    }
    if (!notes_.empty()) text += "\n" + notes_;
    if (!examples_.empty()) text += "\nExamples:\n" + examples_;
    return text;
}

bool OptionParser::Has(const std::string& name) const {
    const auto it = options_.find(name);
    return it != options_.end() && it->second->count() != 0;
}

std::optional<std::string> OptionParser::Get(const std::string& name) const {
    const auto it = options_.find(name);
    if (it == options_.end() || it->second->results().empty()) return std::nullopt;
    return it->second->results().front();
}

std::vector<std::string> OptionParser::GetAll(const std::string& name) const {
    const auto it = options_.find(name);
    return it == options_.end() ? std::vector<std::string>{} : it->second->results();
}

bool PrintHelpIfAsked(const OptionParser& options) {
    if (!options.HelpAsked()) return false;
    std::cout << options.Help();
    return true;
}

}  // namespace lumacore
