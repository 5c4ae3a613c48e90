#include "cli/arguments.h"


namespace lumacore {

namespace {

Error UsageError(std::string message) { return Error::Make(ErrorKind::InvalidArgument, std::move(message)); }

}  // namespace

OptionParser& OptionParser::Flag(const std::string& name) {
    known_[name] = Kind::Flag;
    return *this;
}

OptionParser& OptionParser::Value(const std::string& name) {
    known_[name] = Kind::Value;
    return *this;
}

OptionParser& OptionParser::Repeatable(const std::string& name) {
    known_[name] = Kind::Repeatable;
    return *this;
}

Result<void> OptionParser::Parse(const std::vector<std::string>& arguments) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string word = arguments[i];
        if (word.rfind("--", 0) != 0) {
            positional_.push_back(word);
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const auto eq = word.find('='); eq != std::string::npos) {
            inlineValue = word.substr(eq + 1);
            word.resize(eq);
        }
        const auto it = known_.find(word);
        if (it == known_.end()) return UsageError("unknown option " + word);
        if (it->second == Kind::Flag) {
            if (inlineValue) return UsageError(word + " takes no value");
            seen_[word];
            continue;
        }
        std::string value;
        if (inlineValue) {
            value = *inlineValue;
        } else if (i + 1 < arguments.size()) {
            value = arguments[++i];
        } else {
            return UsageError(word + " needs a value");
        }
        auto& values = seen_[word];
        if (it->second == Kind::Value && !values.empty()) return UsageError(word + " given twice");
        values.push_back(value);
    }
    return {};
}

std::optional<std::string> OptionParser::Get(const std::string& name) const {
    const auto it = seen_.find(name);
    if (it == seen_.end() || it->second.empty()) return std::nullopt;
    return it->second.front();
}

std::vector<std::string> OptionParser::GetAll(const std::string& name) const {
    const auto it = seen_.find(name);
    return it == seen_.end() ? std::vector<std::string>{} : it->second;
}

}  // namespace lumacore
