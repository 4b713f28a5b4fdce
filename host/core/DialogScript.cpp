// The script is JavaScript; only the object literal that describes the dialog is read, with a
// small reader of the literal syntax (identifiers or strings as keys; strings, numbers, words,
// objects and arrays as values; comments skipped). Nothing of the script is run.
#include "DialogScript.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace halvorn_host {
namespace {

using json = nlohmann::json;

// A dialog script is a page of text; this bounds a wrong file given as the plug-in.
constexpr std::size_t kLargestDialogScript = 16 * 1024 * 1024;

struct Token {
    enum class Kind { End, Word, String, Punctuation };
    Kind kind = Kind::End;
    std::string text;
};

class Tokens {
public:
    explicit Tokens(std::string_view text) : text_(text) {}

    Token next() {
        skipBlanksAndComments();
        if (at_ >= text_.size()) {
            return {};
        }
        const char c = text_[at_];
        if (c == '"' || c == '\'') {
            return {Token::Kind::String, stringLiteral(c)};
        }
        if (isWordCharacter(c)) {
            const std::size_t start = at_;
            while (at_ < text_.size() && isWordCharacter(text_[at_])) {
                ++at_;
            }
            return {Token::Kind::Word, std::string(text_.substr(start, at_ - start))};
        }
        ++at_;
        return {Token::Kind::Punctuation, std::string(1, c)};
    }

private:
    // Identifiers and numbers alike ("0.5", "-1" come as "-" then "1"; the sign is not needed).
    static bool isWordCharacter(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_' || c == '$' || c == '.';
    }

    void skipBlanksAndComments() {
        while (at_ < text_.size()) {
            if (std::isspace(static_cast<unsigned char>(text_[at_])) != 0) {
                ++at_;
            } else if (text_.substr(at_, 2) == "//") {
                const auto end = text_.find('\n', at_);
                at_ = end == std::string_view::npos ? text_.size() : end;
            } else if (text_.substr(at_, 2) == "/*") {
                const auto end = text_.find("*/", at_ + 2);
                at_ = end == std::string_view::npos ? text_.size() : end + 2;
            } else {
                return;
            }
        }
    }

    std::string stringLiteral(char quote) {
        std::string value;
        ++at_;
        while (at_ < text_.size() && text_[at_] != quote) {
            char c = text_[at_++];
            if (c == '\\' && at_ < text_.size()) {
                c = text_[at_++];
                c = c == 'n' ? '\n' : c == 't' ? '\t' : c;
            }
            value += c;
        }
        ++at_; // the closing quote
        return value;
    }

    std::string_view text_;
    std::size_t at_ = 0;
};

class LiteralReader {
public:
    explicit LiteralReader(std::string_view text) : tokens_(text) { advance(); }

    // The first object literal after "=" that has a "sections" list.
    std::optional<json> dialogObject() {
        while (current_.kind != Token::Kind::End) {
            const bool assigned = isPunctuation("=");
            advance();
            if (assigned && isPunctuation("{")) {
                json object = value(0);
                if (object.is_object() && object.contains("sections") &&
                    object["sections"].is_array()) {
                    return object;
                }
            }
        }
        return std::nullopt;
    }

private:
    // Nesting deeper than any dialog is not followed.
    static constexpr int kDeepest = 64;

    void advance() { current_ = tokens_.next(); }
    bool isPunctuation(const char* text) const {
        return current_.kind == Token::Kind::Punctuation && current_.text == text;
    }

    json value(int depth) {
        if (depth > kDeepest) {
            return nullptr;
        }
        if (isPunctuation("{")) {
            return object(depth);
        }
        if (isPunctuation("[")) {
            return array(depth);
        }
        json result;
        if (current_.kind == Token::Kind::String || current_.kind == Token::Kind::Word) {
            result = current_.text == "true"    ? json(true)
                     : current_.text == "false" ? json(false)
                                                : json(current_.text);
        }
        advance();
        return result;
    }

    json object(int depth) {
        json result = json::object();
        advance(); // "{"
        while (current_.kind != Token::Kind::End && !isPunctuation("}")) {
            if (current_.kind != Token::Kind::Word && current_.kind != Token::Kind::String) {
                advance();
                continue;
            }
            const std::string key = current_.text;
            advance();
            if (!isPunctuation(":")) {
                continue;
            }
            advance();
            result[key] = value(depth + 1);
            while (current_.kind != Token::Kind::End && !isPunctuation(",") &&
                   !isPunctuation("}")) {
                advance(); // the rest of an expression this reader does not follow
            }
            if (isPunctuation(",")) {
                advance();
            }
        }
        advance(); // "}"
        return result;
    }

    json array(int depth) {
        json result = json::array();
        advance(); // "["
        while (current_.kind != Token::Kind::End && !isPunctuation("]")) {
            result.push_back(value(depth + 1));
            while (current_.kind != Token::Kind::End && !isPunctuation(",") &&
                   !isPunctuation("]")) {
                advance();
            }
            if (isPunctuation(",")) {
                advance();
            }
        }
        advance(); // "]"
        return result;
    }

    Tokens tokens_;
    Token current_;
};

std::string stringOf(const json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? found->get<std::string>() : std::string();
}

// Optimal string alignment distance: insertions, deletions, changes and swaps of neighbours.
std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t i = 0; i <= a.size(); ++i) {
        d[i][0] = i;
    }
    for (std::size_t j = 0; j <= b.size(); ++j) {
        d[0][j] = j;
    }
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t change = a[i - 1] == b[j - 1] ? 0 : 1;
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + change});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

std::string lowerCase(std::string text) {
    for (char& c : text) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return text;
}

} // namespace

bool PluginDialog::hasTask(std::string_view name) const {
    return std::any_of(tasks.begin(), tasks.end(),
                       [&](const DialogTask& task) { return task.name == name; });
}

std::vector<std::string> PluginDialog::taskNames() const {
    std::vector<std::string> names;
    for (const auto& task : tasks) {
        names.push_back(task.name);
    }
    return names;
}

std::vector<std::string> PluginDialog::parameterNames() const {
    std::vector<std::string> names;
    for (const auto& task : tasks) {
        for (const auto& parameter : task.parameters) {
            if (std::find(names.begin(), names.end(), parameter.name) == names.end()) {
                names.push_back(parameter.name);
            }
        }
    }
    return names;
}

std::set<std::string> PluginDialog::parametersReadBy(const std::vector<std::string>& names) const {
    std::set<std::string> read;
    for (const auto& task : tasks) {
        if (std::find(names.begin(), names.end(), task.name) == names.end()) {
            continue;
        }
        for (const auto& parameter : task.parameters) {
            if (parameter.read) {
                read.insert(parameter.name);
            }
        }
    }
    return read;
}

PluginDialog parseDialogScript(std::string_view text, const std::string& path) {
    const std::optional<json> dialog = LiteralReader(text).dialogObject();
    PluginDialog result;
    result.scriptPath = path;
    if (dialog) {
        for (const auto& section : (*dialog)["sections"]) {
            if (!section.is_object() || stringOf(section, "task").empty()) {
                continue;
            }
            DialogTask task{stringOf(section, "task"), {}};
            const auto parameters = section.find("parameters");
            if (parameters != section.end() && parameters->is_array()) {
                for (const auto& parameter : *parameters) {
                    if (parameter.is_object() && !stringOf(parameter, "name").empty()) {
                        task.parameters.push_back({stringOf(parameter, "name"),
                                                   stringOf(parameter, "kind"),
                                                   stringOf(parameter, "access") != "written"});
                    }
                }
            }
            result.tasks.push_back(std::move(task));
        }
    }
    if (result.tasks.empty()) {
        throw DialogScriptError("the dialog script " + path +
                                " describes no task (no \"sections\" list with a \"task\")");
    }
    return result;
}

PluginDialog readDialogScript(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw DialogScriptError("cannot read the dialog script " + path);
    }
    std::string text;
    char buffer[64 * 1024];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kLargestDialogScript) {
            throw DialogScriptError("the dialog script " + path + " is larger than 16 MiB");
        }
    }
    if (in.bad()) {
        throw DialogScriptError("cannot read the dialog script " + path);
    }
    return parseDialogScript(text, path);
}

std::optional<std::string> closestName(const std::string& name,
                                       const std::vector<std::string>& candidates) {
    const std::string wanted = lowerCase(name);
    // One slip in a short name, up to three in a long one.
    const std::size_t allowed = std::clamp<std::size_t>(wanted.size() / 4, 1, 3);
    std::optional<std::string> best;
    std::size_t bestDistance = allowed + 1;
    for (const auto& candidate : candidates) {
        const std::size_t distance = editDistance(wanted, lowerCase(candidate));
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

} // namespace halvorn_host
