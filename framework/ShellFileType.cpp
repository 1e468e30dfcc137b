#include "ShellFileType.h"
#include <windows.h>
#include <shlobj.h>
#include <vector>
#include "RegKey.h"

void CShellFileType::Register() const
{
    if (ext.empty() || typeId.empty())
        return;
    char exe[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string open = std::string("\"") + exe + (dde ? "\" /dde" : "\" \"%1\"");
    const std::string icon = std::string("\"") + exe + "\",0";

    std::string lowerExt = ext;
    ::CharLowerA(&lowerExt[0]);
    // The keys of the type and its extension, relative to a classes root.
    struct ClassValue {
        std::string path;
        const char* name;   // null: the key's default value
        std::string value;
    };
    std::vector<ClassValue> keys = {
        {typeId, nullptr, typeName},
        {typeId + "\\DefaultIcon", nullptr, icon},
        {typeId + "\\shell\\open\\command", nullptr, open},
    };
    if (dde) {
        keys.push_back({typeId + "\\shell\\open\\ddeexec", nullptr, "[open(\"%1\")]"});
        keys.push_back({typeId + "\\shell\\open\\ddeexec\\application", nullptr, appName});
        keys.push_back({typeId + "\\shell\\open\\ddeexec\\topic", nullptr, "System"});
    }
    keys.push_back({lowerExt, nullptr, typeId});
    // Lets the shell's New menu make an empty list file.
    keys.push_back({lowerExt + "\\ShellNew", "NullFile", ""});

    // Writes what differs under `root`; a refusal is no error.
    bool changed = false;
    auto putAll = [&](HKEY root, const std::string& prefix) {
        for (const auto& k : keys) {
            const std::string path = prefix + k.path;
            CRegKey key;
            std::string old;
            if (key.Open(root, path.c_str()) && key.QueryString(k.name, old) && old == k.value)
                continue;
            key.Close();
            if (key.Create(root, path.c_str()))
                changed = key.SetString(k.name, k.value) || changed;
        }
    };
    // Does the shell's view of the classes show the type as written?
    auto shellSees = [&] {
        CRegKey key;
        std::string value;
        if (!key.Open(HKEY_CLASSES_ROOT, lowerExt.c_str()) || !key.QueryString(nullptr, value) ||
            value != typeId)
            return false;
        key.Close();
        return key.Open(HKEY_CLASSES_ROOT, (typeId + "\\shell\\open\\command").c_str()) &&
               key.QueryString(nullptr, value) && value == open;
    };

    // Per-user registration: needs no administrator rights. Windows shows
    // these keys through HKEY_CLASSES_ROOT; where that view does not merge
    // them in (Wine), the same keys go where it reads them, if allowed.
    putAll(HKEY_CURRENT_USER, "Software\\Classes\\");
    if (!shellSees())
        putAll(HKEY_CLASSES_ROOT, "");
    if (changed)
        ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}
