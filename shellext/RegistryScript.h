// The registrar's script language, the small subset the shell extension's
// registry scripts use, parsed into a flat table of rows that registration
// applies in order and unregistration undoes in reverse. Portable: the
// registry itself is reached through RegistryStore.
//
// Accepted text (tokens are separated by white space; data is quoted with
// '...', where '' stands for one quote; names are quoted the same way unless
// they hold only letters, digits and _ . - * { } %):
//
//     HKCR                                  (or HKEY_CLASSES_ROOT, HKLM,
//     {                                     HKEY_LOCAL_MACHINE; one root per script)
//         [NoRemove|ForceRemove] name [= s 'data']
//         {
//             val name = s 'data'
//             ...nested keys and values...
//         }
//     }
//
// %NAME% inside a name or a string is replaced with the text the caller
// gives for NAME (after the text is split into tokens, so a replacement may
// hold quotes or spaces); %% stands for one percent sign. Everything else is
// refused with the line it stands on: other root keys, two roots in one
// script, other value types (d, b, m), Delete, comments, unknown
// replacements, unbalanced braces, names holding a backslash.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace corva::shell {

// What unregistration does with a key.
enum class RemoveRule {
    Normal,       // removed when nothing foreign is left in it (see UnregisterScript)
    NoRemove,     // never removed; created when missing
    ForceRemove,  // replaced as a whole on registration, removed with all subkeys
};

struct ScriptRow {
    std::wstring key;                       // path below the root, parts joined with '\'
    RemoveRule rule = RemoveRule::Normal;   // the key's rule
    std::optional<std::wstring> valueName;  // none: the key itself; empty: its default value
    std::wstring data;                      // value rows: the string data
    int line = 0;                           // where the row stands in the script

    bool IsKey() const { return !valueName.has_value(); }
};

// The root key a script writes below.
enum class ScriptRoot { ClassesRoot, LocalMachine };

struct ScriptParse {
    bool ok = false;
    ScriptRoot root = ScriptRoot::ClassesRoot;
    std::vector<ScriptRow> rows;  // a key's row, its default value, its named values, then its subkeys
    std::wstring error;           // "line N: ..." when not ok
};

ScriptParse ParseRegistryScript(const std::wstring& text, const std::map<std::wstring, std::wstring>& replacements);

// The registry as registration sees it: keys are paths below one root, which
// the implementation fixes (tests use a scratch key or a table in memory).
// Value names: empty for the default value.
class RegistryStore {
public:
    virtual ~RegistryStore() = default;
    virtual bool CreateKey(const std::wstring& key) = 0;
    virtual bool SetString(const std::wstring& key, const std::wstring& name, const std::wstring& data) = 0;
    virtual bool KeyExists(const std::wstring& key) = 0;
    // False when the key or the value is missing or the value is no string.
    virtual bool GetString(const std::wstring& key, const std::wstring& name, std::wstring* data) = 0;
    virtual bool HasSubkeys(const std::wstring& key) = 0;
    // Removes the key with everything below it; true also when it was absent.
    virtual bool DeleteTree(const std::wstring& key) = 0;
    // Removes one key that has no subkeys; true also when it was absent.
    virtual bool DeleteKey(const std::wstring& key) = 0;
    // True also when the value was absent.
    virtual bool DeleteValue(const std::wstring& key, const std::wstring& name) = 0;
};

// Writes the rows in order: a ForceRemove key is first removed with all it
// holds, then every key is created and every value set. Stops at the first
// failure (error names the key).
bool RegisterScript(const std::vector<ScriptRow>& rows, RegistryStore& store, std::wstring* error);

// Undoes the rows in reverse order, so subkeys go before their parents:
// - ForceRemove keys are removed with all their subkeys;
// - NoRemove keys stay; their named values are removed while they still
//   hold the script's data;
// - other keys are removed only when, after their scripted subkeys have
//   gone, they have no subkeys left and their default value (when the
//   script sets one) still holds the script's data: a key someone else has
//   taken over, or put things into, stays.
// Goes on after a failure; false (and the first failure in error) if any.
bool UnregisterScript(const std::vector<ScriptRow>& rows, RegistryStore& store, std::wstring* error);

}  // namespace corva::shell
