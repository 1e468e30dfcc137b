#pragma once
#include <windows.h>

// Clipboard formats known by name, registered once at program start
// (their numbers differ from run to run).
struct ClipFormats {
    static void Register();

    static CLIPFORMAT FileGroupDescriptor;     // "FileGroupDescriptor"
    static CLIPFORMAT FileContents;            // "FileContents"
    static CLIPFORMAT UniformResourceLocator;  // "UniformResourceLocator"
    // Offered by browsers and by Wine's drag from other X programs.
    static CLIPFORMAT UniformResourceLocatorW; // "UniformResourceLocatorW"
    static CLIPFORMAT MozUrl;                  // "text/x-moz-url"
    static CLIPFORMAT NetscapeUrl;             // "_NETSCAPE_URL"
};
