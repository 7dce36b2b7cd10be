// The registrar's script subset: the shell extension's own scripts parse to
// exactly the keys they are meant to write, malformed or unsupported text is
// refused with its line, and registration and unregistration follow the
// removal rules on a registry held in memory.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "RegistryScript.h"

using corva::shell::ParseRegistryScript;
using corva::shell::RegistryStore;
using corva::shell::RemoveRule;
using corva::shell::ScriptParse;
using corva::shell::ScriptRoot;
using corva::shell::ScriptRow;

namespace {

const std::map<std::wstring, std::wstring> kModule{{L"MODULE", L"C:\\Program Files\\Corvastine\\corvastinesh.dll"}};
const wchar_t kClsid[] = L"{91777546-DFA0-4C50-8B72-9FBBED8179C7}";

std::wstring ReadSource(const std::string& name) {
    std::ifstream in(std::string(CORVA_SHELLEXT_SOURCE_DIR) + "/" + name, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    const std::string text = bytes.str();
    return std::wstring(text.begin(), text.end());  // the scripts are ASCII
}

ScriptParse Parse(const std::wstring& text) { return ParseRegistryScript(text, kModule); }

// A registry in memory: key paths (case as written) with their values.
class MemoryRegistry final : public RegistryStore {
public:
    std::map<std::wstring, std::map<std::wstring, std::wstring>> keys;
    std::set<std::wstring> failCreate;

    bool CreateKey(const std::wstring& key) override {
        if (failCreate.count(key)) return false;
        for (size_t i = 0; i <= key.size(); ++i) {
            if (i == key.size() || key[i] == L'\\') keys[key.substr(0, i)];
        }
        return true;
    }
    bool SetString(const std::wstring& key, const std::wstring& name, const std::wstring& data) override {
        if (!keys.count(key)) return false;
        keys[key][name] = data;
        return true;
    }
    bool KeyExists(const std::wstring& key) override { return keys.count(key) != 0; }
    bool GetString(const std::wstring& key, const std::wstring& name, std::wstring* data) override {
        auto k = keys.find(key);
        if (k == keys.end()) return false;
        auto v = k->second.find(name);
        if (v == k->second.end()) return false;
        *data = v->second;
        return true;
    }
    bool HasSubkeys(const std::wstring& key) override {
        for (const auto& k : keys) {
            if (k.first.size() > key.size() && k.first.compare(0, key.size(), key) == 0 && k.first[key.size()] == L'\\')
                return true;
        }
        return false;
    }
    bool DeleteTree(const std::wstring& key) override {
        for (auto it = keys.begin(); it != keys.end();) {
            bool below = it->first == key || (it->first.size() > key.size() && it->first.compare(0, key.size(), key) == 0 &&
                                              it->first[key.size()] == L'\\');
            it = below ? keys.erase(it) : std::next(it);
        }
        return true;
    }
    bool DeleteKey(const std::wstring& key) override {
        if (HasSubkeys(key)) return false;
        keys.erase(key);
        return true;
    }
    bool DeleteValue(const std::wstring& key, const std::wstring& name) override {
        auto k = keys.find(key);
        if (k != keys.end()) k->second.erase(name);
        return true;
    }
    std::wstring Value(const std::wstring& key, const std::wstring& name = std::wstring()) {
        std::wstring data;
        return GetString(key, name, &data) ? data : L"<missing>";
    }
};

std::wstring ClassKey() { return std::wstring(L"CLSID\\") + kClsid; }

}  // namespace

TEST(RegistryScript, ClassScriptHoldsExactlyTheClassKeysAndValues) {
    ScriptParse script = Parse(ReadSource("Corvastine.rgs"));
    ASSERT_TRUE(script.ok) << std::string(script.error.begin(), script.error.end());
    struct Expected {
        std::wstring key;
        RemoveRule rule;
        bool isKey;
        std::wstring name;
        std::wstring data;
    };
    const std::wstring c = ClassKey();
    const std::vector<Expected> expected = {
        {L"Corvastinesh.Corvastine.1", RemoveRule::Normal, true, L"", L""},
        {L"Corvastinesh.Corvastine.1", RemoveRule::Normal, false, L"", L"Corvastine Class"},
        {L"Corvastinesh.Corvastine.1\\CLSID", RemoveRule::Normal, true, L"", L""},
        {L"Corvastinesh.Corvastine.1\\CLSID", RemoveRule::Normal, false, L"", kClsid},
        {L"Corvastinesh.Corvastine", RemoveRule::Normal, true, L"", L""},
        {L"Corvastinesh.Corvastine", RemoveRule::Normal, false, L"", L"Corvastine Class"},
        {L"Corvastinesh.Corvastine\\CLSID", RemoveRule::Normal, true, L"", L""},
        {L"Corvastinesh.Corvastine\\CLSID", RemoveRule::Normal, false, L"", kClsid},
        {L"Corvastinesh.Corvastine\\CurVer", RemoveRule::Normal, true, L"", L""},
        {L"Corvastinesh.Corvastine\\CurVer", RemoveRule::Normal, false, L"", L"Corvastinesh.Corvastine.1"},
        {L"CLSID", RemoveRule::NoRemove, true, L"", L""},
        {c, RemoveRule::ForceRemove, true, L"", L""},
        {c, RemoveRule::ForceRemove, false, L"", L"Corvastine Class"},
        {c + L"\\ProgID", RemoveRule::Normal, true, L"", L""},
        {c + L"\\ProgID", RemoveRule::Normal, false, L"", L"Corvastinesh.Corvastine.1"},
        {c + L"\\VersionIndependentProgID", RemoveRule::Normal, true, L"", L""},
        {c + L"\\VersionIndependentProgID", RemoveRule::Normal, false, L"", L"Corvastinesh.Corvastine"},
        {c + L"\\Programmable", RemoveRule::ForceRemove, true, L"", L""},
        {c + L"\\InprocServer32", RemoveRule::Normal, true, L"", L""},
        {c + L"\\InprocServer32", RemoveRule::Normal, false, L"", L"C:\\Program Files\\Corvastine\\corvastinesh.dll"},
        {c + L"\\InprocServer32", RemoveRule::Normal, false, L"ThreadingModel", L"Apartment"},
        {c + L"\\TypeLib", RemoveRule::Normal, true, L"", L""},
        {c + L"\\TypeLib", RemoveRule::Normal, false, L"", L"{9F95D995-B3DA-4B5D-8A6B-A4C15D80715D}"},
    };
    ASSERT_EQ(script.rows.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i);
        const ScriptRow& row = script.rows[i];
        EXPECT_EQ(row.key, expected[i].key);
        EXPECT_EQ(row.rule, expected[i].rule);
        EXPECT_EQ(row.IsKey(), expected[i].isKey);
        if (!expected[i].isKey) {
            EXPECT_EQ(*row.valueName, expected[i].name);
            EXPECT_EQ(row.data, expected[i].data);
        }
    }
}

TEST(RegistryScript, HandlerScriptAddsOneHandlerKeyForFilesAndOneForFolders) {
    ScriptParse script = Parse(ReadSource("ContextMenuHandlers.rgs"));
    ASSERT_TRUE(script.ok);
    EXPECT_EQ(script.root, ScriptRoot::ClassesRoot);
    std::vector<std::wstring> values;
    for (const ScriptRow& row : script.rows) {
        if (row.IsKey()) {
            const bool handler = row.key.size() > 10 && row.key.substr(row.key.size() - 10) == L"Corvastine";
            EXPECT_EQ(row.rule, handler ? RemoveRule::Normal : RemoveRule::NoRemove) << std::string(row.key.begin(), row.key.end());
        } else {
            values.push_back(row.key + L"=" + row.data);
        }
    }
    EXPECT_EQ(values, (std::vector<std::wstring>{
                          std::wstring(L"*\\shellex\\ContextMenuHandlers\\Corvastine=") + kClsid,
                          std::wstring(L"Directory\\shellex\\ContextMenuHandlers\\Corvastine=") + kClsid}));
}

TEST(RegistryScript, ApprovalScriptAddsOneValueBelowTheMachineRootAndUnregisterTakesOnlyThat) {
    ScriptParse script = Parse(ReadSource("ApprovedExtension.rgs"));
    ASSERT_TRUE(script.ok) << std::string(script.error.begin(), script.error.end());
    EXPECT_EQ(script.root, ScriptRoot::LocalMachine);
    const std::wstring approved = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
    std::vector<std::wstring> values;
    for (const ScriptRow& row : script.rows) {
        if (row.IsKey()) EXPECT_EQ(row.rule, RemoveRule::NoRemove);
        else values.push_back(row.key + L"|" + *row.valueName + L"=" + row.data);
    }
    EXPECT_EQ(values, (std::vector<std::wstring>{approved + L"|" + kClsid + L"=Corvastine Class"}));

    MemoryRegistry registry;
    registry.keys[approved][L"{11111111-2222-3333-4444-555555555555}"] = L"Another Extension";
    ASSERT_TRUE(RegisterScript(script.rows, registry, nullptr));
    EXPECT_EQ(registry.Value(approved, kClsid), L"Corvastine Class");
    ASSERT_TRUE(UnregisterScript(script.rows, registry, nullptr));
    EXPECT_EQ(registry.Value(approved, kClsid), L"<missing>");
    EXPECT_EQ(registry.Value(approved, L"{11111111-2222-3333-4444-555555555555}"), L"Another Extension");
}

TEST(RegistryScript, QuotesReplacementsAndLongRootName) {
    ScriptParse script = ParseRegistryScript(
        L"HKEY_CLASSES_ROOT {\n 'Key With Space' = s 'it''s %MODULE% at 100%%'\n { val 'x y' = s '' } }",
        {{L"MODULE", L"C:\\a'b\\c.dll"}});
    ASSERT_TRUE(script.ok) << std::string(script.error.begin(), script.error.end());
    ASSERT_EQ(script.rows.size(), 3u);
    EXPECT_EQ(script.rows[0].key, L"Key With Space");
    EXPECT_EQ(script.rows[1].data, L"it's C:\\a'b\\c.dll at 100%");
    EXPECT_EQ(*script.rows[2].valueName, L"x y");
    EXPECT_EQ(script.rows[2].data, L"");
    EXPECT_EQ(script.rows[1].line, 2);
}

TEST(RegistryScript, RefusesEverythingOutsideTheSubsetWithItsLine) {
    struct Case {
        const wchar_t* text;
        const wchar_t* error;
    };
    const Case cases[] = {
        {L"", L"line 1: the script is empty"},
        {L"HKCU { Software }", L"line 1: 'HKCU' is not a supported root key (only HKCR and HKLM)"},
        {L"HKCR { a }\nHKLM { b }", L"line 2: a script writes below one root key only"},
        {L"HKCR {\n a = d '5'\n}", L"line 2: value type 'd' is not supported (only s)"},
        {L"HKCR {\n a = b '00'\n}", L"line 2: value type 'b' is not supported (only s)"},
        {L"HKCR {\n a = s unquoted\n}", L"line 2: string data must be quoted, found 'unquoted'"},
        {L"HKCR {\n Delete a\n}", L"line 2: 'Delete' is not supported"},
        {L"HKCR {\n a {\n b\n", L"line 3: the script ends inside a block ('}' missing)"},
        {L"HKCR {\n a = s 'open\n}", L"line 2: a quoted text is not closed"},
        {L"HKCR {\n a = s '%OTHER%'\n}", L"line 2: unknown replacement %OTHER%"},
        {L"HKCR {\n a = s '50%'\n}", L"line 2: a '%' without its closing '%' in '50%'"},
        {L"HKCR {\n 'a\\b'\n}", L"line 2: a key name 'a\\b' holds a backslash"},
        {L"HKCR {\n val x = s 'y'\n}", L"line 2: a named value directly under the root key"},
        {L"HKCR {\n a {\n val = s 'y' }\n}", L"line 3: '=' where a value name is expected"},
        {L"HKCR {\n // comment\n}", L"line 2: '//' cannot stand unquoted as a key name"},
        {L"HKCR {\n a; = s 'x'\n}", L"line 2: 'a;' cannot stand unquoted as a key name"},
        {L"HKCR a", L"line 1: '{' expected, found 'a'"},
        {L"HKCR { a } }", L"line 1: '}' is not a supported root key (only HKCR and HKLM)"},
        {L"HKCR {\n a='x'\n}", L"line 2: a quote inside the word 'a='"},
    };
    for (const Case& c : cases) {
        ScriptParse script = Parse(c.text);
        EXPECT_FALSE(script.ok) << std::string(c.text, c.text + wcslen(c.text)).size();
        EXPECT_TRUE(script.rows.empty());
        EXPECT_EQ(script.error, c.error) << "script: " << std::wstring(c.text).size() << " chars";
    }
}

TEST(RegistryScript, RegisterWritesKeysAndValuesAndReplacesForceRemoveKeysWhole) {
    ScriptParse script = Parse(ReadSource("Corvastine.rgs"));
    ASSERT_TRUE(script.ok);
    MemoryRegistry registry;
    registry.keys[ClassKey() + L"\\Stale"][L""] = L"left from an older registration";
    registry.keys[L"CLSID\\{00000000-0000-0000-0000-000000000001}"][L""] = L"another class";
    ASSERT_TRUE(RegisterScript(script.rows, registry, nullptr));
    ASSERT_TRUE(RegisterScript(script.rows, registry, nullptr));  // twice: still one class key

    EXPECT_FALSE(registry.KeyExists(ClassKey() + L"\\Stale"));
    EXPECT_TRUE(registry.KeyExists(L"CLSID\\{00000000-0000-0000-0000-000000000001}"));
    EXPECT_EQ(registry.Value(ClassKey()), L"Corvastine Class");
    EXPECT_EQ(registry.Value(ClassKey() + L"\\InprocServer32"), L"C:\\Program Files\\Corvastine\\corvastinesh.dll");
    EXPECT_EQ(registry.Value(ClassKey() + L"\\InprocServer32", L"ThreadingModel"), L"Apartment");
    EXPECT_TRUE(registry.KeyExists(ClassKey() + L"\\Programmable"));
    EXPECT_EQ(registry.Value(L"Corvastinesh.Corvastine\\CurVer"), L"Corvastinesh.Corvastine.1");
    size_t classKeys = 0;
    for (const auto& k : registry.keys) {
        if (k.first.rfind(L"CLSID\\{91777546", 0) == 0 && k.first.find(L'\\', 6) == std::wstring::npos) ++classKeys;
    }
    EXPECT_EQ(classKeys, 1u);
}

TEST(RegistryScript, RegisterStopsAtTheFirstKeyItCannotCreate) {
    ScriptParse script = Parse(ReadSource("Corvastine.rgs"));
    MemoryRegistry registry;
    registry.failCreate.insert(L"Corvastinesh.Corvastine");
    std::wstring error;
    EXPECT_FALSE(RegisterScript(script.rows, registry, &error));
    EXPECT_EQ(error, L"cannot create the key Corvastinesh.Corvastine");
    EXPECT_FALSE(registry.KeyExists(L"CLSID"));
}

TEST(RegistryScript, UnregisterRemovesProgIdsAndClassButKeepsClsidAndForeignKeys) {
    ScriptParse classes = Parse(ReadSource("Corvastine.rgs"));
    ScriptParse handlers = Parse(ReadSource("ContextMenuHandlers.rgs"));
    MemoryRegistry registry;
    registry.keys[L"*\\shellex\\ContextMenuHandlers\\Other"][L""] = L"{11111111-2222-3333-4444-555555555555}";
    ASSERT_TRUE(RegisterScript(classes.rows, registry, nullptr));
    ASSERT_TRUE(RegisterScript(handlers.rows, registry, nullptr));
    // Someone else took the folder handler key over, and added a key under
    // the version-independent ProgID.
    registry.keys[L"Directory\\shellex\\ContextMenuHandlers\\Corvastine"][L""] = L"{AAAAAAAA-0000-0000-0000-000000000000}";
    registry.keys[L"Corvastinesh.Corvastine\\shell"];

    ASSERT_TRUE(UnregisterScript(handlers.rows, registry, nullptr));
    ASSERT_TRUE(UnregisterScript(classes.rows, registry, nullptr));

    EXPECT_FALSE(registry.KeyExists(L"*\\shellex\\ContextMenuHandlers\\Corvastine"));
    EXPECT_TRUE(registry.KeyExists(L"*\\shellex\\ContextMenuHandlers\\Other"));
    EXPECT_TRUE(registry.KeyExists(L"*\\shellex\\ContextMenuHandlers"));
    EXPECT_EQ(registry.Value(L"Directory\\shellex\\ContextMenuHandlers\\Corvastine"),
              L"{AAAAAAAA-0000-0000-0000-000000000000}");
    EXPECT_FALSE(registry.KeyExists(L"Corvastinesh.Corvastine.1"));
    EXPECT_TRUE(registry.KeyExists(L"Corvastinesh.Corvastine\\shell"));
    EXPECT_FALSE(registry.KeyExists(L"Corvastinesh.Corvastine\\CLSID"));
    EXPECT_FALSE(registry.KeyExists(L"Corvastinesh.Corvastine\\CurVer"));
    EXPECT_FALSE(registry.KeyExists(ClassKey()));
    EXPECT_FALSE(registry.KeyExists(ClassKey() + L"\\InprocServer32"));
    EXPECT_TRUE(registry.KeyExists(L"CLSID"));
}

TEST(RegistryScript, UnregisterOfNothingRegisteredSucceeds) {
    ScriptParse script = Parse(ReadSource("Corvastine.rgs"));
    MemoryRegistry registry;
    EXPECT_TRUE(UnregisterScript(script.rows, registry, nullptr));
    EXPECT_TRUE(registry.keys.empty());
}
