// The layer's reader of resource scripts: the subset of the resource compiler's
// language that the module's script uses (DIALOGEX with CONTROL items,
// STRINGTABLE, LANGUAGE, #include and #define), read the way windres reads it.
#pragma once

#include "Window.h"

#include <map>
#include <string>
#include <vector>

struct DialogItemTemplate {
    std::string text;
    int32_t id = 0;
    std::string className;
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplate {
    DWORD style = 0;
    DWORD exStyle = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
    std::string caption;
    bool hasFont = false;
    int pointSize = 0;
    std::string typeface;
    int weight = 0;
    int italic = 0;
    int charset = 0;
    std::vector<DialogItemTemplate> items;
};

struct ResourceSet {
    std::map<UINT, DialogTemplate> dialogs;
    // Held wide, as the module image holds them, so that LoadStringW can hand
    // out a pointer to the text itself.
    std::map<UINT, std::wstring> strings;
};

// Reads files[0], which may include the other files by name. On failure the
// answer is false and error names the file, the line and what was wrong.
bool ParseResourceScript(const PlatformResourceFile* files, int fileCount, ResourceSet* out, std::string* error);

// The parsed resources of a module (null: the main program), or null with the
// system's error code when the module has none or its script does not parse.
// The set stays valid while the module's resources are registered.
const ResourceSet* FindModuleResources(HMODULE module, DWORD* error);
