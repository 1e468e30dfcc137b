#pragma once
#include <string>

// A document type as the shell knows it: its extension, its class key with
// the icon and the open command (by dynamic data exchange when the program
// serves it), and the New menu's empty file.
class CShellFileType {
public:
    std::string ext;        // ".kst"
    std::string typeId;     // the class key's name
    std::string typeName;   // what Explorer shows as the type
    std::string appName;    // the dynamic data exchange service
    bool dde = false;

    // Writes the keys that differ from what is there, for this user (no
    // administrator rights needed); where the shell's view of the classes
    // does not show them, under HKEY_CLASSES_ROOT as well, if allowed.
    // Tells the shell when anything changed. Nothing happens without an
    // extension or a type id.
    void Register() const;
};
