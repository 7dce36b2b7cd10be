#include "RegistryScript.h"

#include <cwctype>
#include <utility>

namespace corva::shell {

namespace {

struct Token {
    std::wstring text;
    bool quoted = false;
    int line = 0;
};

bool IsSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == 0xFEFF; }

std::wstring AtLine(int line, const std::wstring& message) { return L"line " + std::to_wstring(line) + L": " + message; }

bool Tokenize(const std::wstring& text, std::vector<Token>* tokens, std::wstring* error) {
    int line = 1;
    size_t i = 0;
    while (i < text.size()) {
        wchar_t c = text[i];
        if (IsSpace(c)) {
            if (c == L'\n') ++line;
            ++i;
            continue;
        }
        Token token;
        token.line = line;
        if (c == L'\'') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < text.size()) {
                if (text[i] == L'\'') {
                    if (i + 1 < text.size() && text[i + 1] == L'\'') {
                        token.text += L'\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                if (text[i] == L'\n') ++line;
                token.text += text[i++];
            }
            if (!closed) {
                *error = AtLine(token.line, L"a quoted text is not closed");
                return false;
            }
            if (i < text.size() && !IsSpace(text[i])) {
                *error = AtLine(line, L"a quoted text must be followed by white space");
                return false;
            }
        } else {
            while (i < text.size() && !IsSpace(text[i])) {
                if (text[i] == L'\'') {
                    *error = AtLine(line, L"a quote inside the word '" + token.text + L"'");
                    return false;
                }
                token.text += text[i++];
            }
        }
        tokens->push_back(std::move(token));
    }
    return true;
}

bool EqualsNoCase(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    }
    return i == a.size() && !b[i];
}

class Parser {
public:
    Parser(std::vector<Token> tokens, const std::map<std::wstring, std::wstring>& replacements)
        : tokens_(std::move(tokens)), replacements_(replacements) {}

    bool Script(std::vector<ScriptRow>* rows, ScriptRoot* root) {
        rows_ = rows;
        if (tokens_.empty()) return Fail(1, L"the script is empty");
        bool first = true;
        while (pos_ < tokens_.size()) {
            const Token& name = tokens_[pos_];
            ScriptRoot here = ScriptRoot::ClassesRoot;
            if (!name.quoted && (EqualsNoCase(name.text, L"HKCR") || EqualsNoCase(name.text, L"HKEY_CLASSES_ROOT"))) {
                here = ScriptRoot::ClassesRoot;
            } else if (!name.quoted &&
                       (EqualsNoCase(name.text, L"HKLM") || EqualsNoCase(name.text, L"HKEY_LOCAL_MACHINE"))) {
                here = ScriptRoot::LocalMachine;
            } else {
                return Fail(name.line, L"'" + name.text + L"' is not a supported root key (only HKCR and HKLM)");
            }
            if (!first && here != *root) return Fail(name.line, L"a script writes below one root key only");
            *root = here;
            first = false;
            ++pos_;
            if (!Expect(L"{")) return false;
            if (!Body(std::wstring())) return false;
        }
        return true;
    }

    const std::wstring& Error() const { return error_; }

private:
    bool Fail(int line, const std::wstring& message) {
        error_ = AtLine(line, message);
        return false;
    }
    int LineHere() const { return pos_ < tokens_.size() ? tokens_[pos_].line : (tokens_.empty() ? 1 : tokens_.back().line); }
    bool AtStructural(const wchar_t* symbol) const {
        return pos_ < tokens_.size() && !tokens_[pos_].quoted && tokens_[pos_].text == symbol;
    }
    bool Expect(const wchar_t* symbol) {
        if (AtStructural(symbol)) {
            ++pos_;
            return true;
        }
        if (pos_ >= tokens_.size()) return Fail(LineHere(), std::wstring(L"the script ends where '") + symbol + L"' is expected");
        return Fail(LineHere(), std::wstring(L"'") + symbol + L"' expected, found '" + tokens_[pos_].text + L"'");
    }

    // Replaces %NAME% and %%.
    bool Substitute(const Token& token, std::wstring* out) {
        out->clear();
        const std::wstring& t = token.text;
        for (size_t i = 0; i < t.size(); ++i) {
            if (t[i] != L'%') {
                *out += t[i];
                continue;
            }
            size_t end = t.find(L'%', i + 1);
            if (end == std::wstring::npos) return Fail(token.line, L"a '%' without its closing '%' in '" + t + L"'");
            std::wstring name = t.substr(i + 1, end - i - 1);
            if (name.empty()) {
                *out += L'%';
            } else {
                auto found = replacements_.find(name);
                if (found == replacements_.end()) return Fail(token.line, L"unknown replacement %" + name + L"%");
                *out += found->second;
            }
            i = end;
        }
        return true;
    }

    bool Name(const wchar_t* what, std::wstring* name, int* line) {
        if (pos_ >= tokens_.size()) return Fail(LineHere(), std::wstring(L"the script ends where ") + what + L" is expected");
        const Token& token = tokens_[pos_];
        if (!token.quoted && (token.text == L"{" || token.text == L"}" || token.text == L"=")) {
            return Fail(token.line, std::wstring(L"'") + token.text + L"' where " + what + L" is expected");
        }
        if (!token.quoted) {
            for (wchar_t c : token.text) {
                const bool plain = (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
                                   c == L'_' || c == L'.' || c == L'-' || c == L'*' || c == L'{' || c == L'}' ||
                                   c == L'%';
                if (!plain) {
                    return Fail(token.line, L"'" + token.text + L"' cannot stand unquoted as " + what);
                }
            }
        }
        if (!Substitute(token, name)) return false;
        if (name->empty()) return Fail(token.line, std::wstring(what) + L" is empty");
        if (name->find(L'\\') != std::wstring::npos) {
            return Fail(token.line, std::wstring(what) + L" '" + *name + L"' holds a backslash");
        }
        *line = token.line;
        ++pos_;
        return true;
    }

    // "= s 'data'"
    bool StringData(std::wstring* data) {
        if (!Expect(L"=")) return false;
        if (pos_ >= tokens_.size()) return Fail(LineHere(), L"the script ends where a value type is expected");
        const Token& type = tokens_[pos_];
        if (type.quoted || !EqualsNoCase(type.text, L"s")) {
            return Fail(type.line, L"value type '" + type.text + L"' is not supported (only s)");
        }
        ++pos_;
        if (pos_ >= tokens_.size()) return Fail(LineHere(), L"the script ends where string data is expected");
        const Token& value = tokens_[pos_];
        if (!value.quoted) return Fail(value.line, L"string data must be quoted, found '" + value.text + L"'");
        if (!Substitute(value, data)) return false;
        ++pos_;
        return true;
    }

    bool Body(const std::wstring& parent) {
        for (;;) {
            if (pos_ >= tokens_.size()) return Fail(LineHere(), L"the script ends inside a block ('}' missing)");
            if (AtStructural(L"}")) {
                ++pos_;
                return true;
            }
            const Token& first = tokens_[pos_];
            if (!first.quoted && EqualsNoCase(first.text, L"val")) {
                if (parent.empty()) return Fail(first.line, L"a named value directly under the root key");
                ++pos_;
                ScriptRow row;
                if (!Name(L"a value name", &row.data, &row.line)) return false;
                row.valueName = row.data;
                row.key = parent;
                row.rule = parentRule_;
                if (!StringData(&row.data)) return false;
                rows_->push_back(std::move(row));
                continue;
            }
            RemoveRule rule = RemoveRule::Normal;
            if (!first.quoted && EqualsNoCase(first.text, L"NoRemove")) {
                rule = RemoveRule::NoRemove;
                ++pos_;
            } else if (!first.quoted && EqualsNoCase(first.text, L"ForceRemove")) {
                rule = RemoveRule::ForceRemove;
                ++pos_;
            } else if (!first.quoted && (EqualsNoCase(first.text, L"Delete") || EqualsNoCase(first.text, L"val"))) {
                return Fail(first.line, L"'" + first.text + L"' is not supported");
            }
            ScriptRow key;
            std::wstring name;
            if (!Name(L"a key name", &name, &key.line)) return false;
            key.key = parent.empty() ? name : parent + L"\\" + name;
            key.rule = rule;
            rows_->push_back(key);
            if (AtStructural(L"=")) {
                ScriptRow value = key;
                value.valueName = std::wstring();
                if (!StringData(&value.data)) return false;
                rows_->push_back(std::move(value));
            }
            if (AtStructural(L"{")) {
                ++pos_;
                RemoveRule saved = parentRule_;
                parentRule_ = rule;
                bool ok = Body(key.key);
                parentRule_ = saved;
                if (!ok) return false;
            }
        }
    }

    std::vector<Token> tokens_;
    const std::map<std::wstring, std::wstring>& replacements_;
    std::vector<ScriptRow>* rows_ = nullptr;
    RemoveRule parentRule_ = RemoveRule::NoRemove;
    size_t pos_ = 0;
    std::wstring error_;
};

}  // namespace

ScriptParse ParseRegistryScript(const std::wstring& text, const std::map<std::wstring, std::wstring>& replacements) {
    ScriptParse result;
    std::vector<Token> tokens;
    if (!Tokenize(text, &tokens, &result.error)) return result;
    Parser parser(std::move(tokens), replacements);
    if (!parser.Script(&result.rows, &result.root)) {
        result.rows.clear();
        result.error = parser.Error();
        return result;
    }
    result.ok = true;
    return result;
}

bool RegisterScript(const std::vector<ScriptRow>& rows, RegistryStore& store, std::wstring* error) {
    for (const ScriptRow& row : rows) {
        if (row.IsKey()) {
            if (row.rule == RemoveRule::ForceRemove && !store.DeleteTree(row.key)) {
                if (error) *error = L"cannot replace the key " + row.key;
                return false;
            }
            if (!store.CreateKey(row.key)) {
                if (error) *error = L"cannot create the key " + row.key;
                return false;
            }
        } else if (!store.SetString(row.key, *row.valueName, row.data)) {
            if (error) *error = L"cannot write the value '" + *row.valueName + L"' of " + row.key;
            return false;
        }
    }
    return true;
}

bool UnregisterScript(const std::vector<ScriptRow>& rows, RegistryStore& store, std::wstring* error) {
    bool ok = true;
    auto failed = [&](const std::wstring& what) {
        if (ok && error) *error = what;
        ok = false;
    };
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        const ScriptRow& row = *it;
        if (!row.IsKey()) {
            if (row.rule != RemoveRule::NoRemove || row.valueName->empty()) continue;
            std::wstring current;
            if (store.GetString(row.key, *row.valueName, &current) && current == row.data &&
                !store.DeleteValue(row.key, *row.valueName)) {
                failed(L"cannot remove the value '" + *row.valueName + L"' of " + row.key);
            }
            continue;
        }
        switch (row.rule) {
        case RemoveRule::NoRemove:
            break;
        case RemoveRule::ForceRemove:
            if (!store.DeleteTree(row.key)) failed(L"cannot remove the key " + row.key);
            break;
        case RemoveRule::Normal: {
            if (!store.KeyExists(row.key)) break;
            // The default value the script gives this key, if any: the row
            // right after the key's own row.
            auto next = it.base();  // the element after *it in forward order
            if (next != rows.end() && next->key == row.key && next->valueName && next->valueName->empty()) {
                std::wstring current;
                if (!store.GetString(row.key, std::wstring(), &current) || current != next->data) break;
            }
            if (store.HasSubkeys(row.key)) break;
            if (!store.DeleteKey(row.key)) failed(L"cannot remove the key " + row.key);
            break;
        }
        }
    }
    return ok;
}

}  // namespace corva::shell
