#include "ClipFormats.h"

CLIPFORMAT ClipFormats::FileGroupDescriptor = 0;
CLIPFORMAT ClipFormats::FileContents = 0;
CLIPFORMAT ClipFormats::UniformResourceLocator = 0;
CLIPFORMAT ClipFormats::UniformResourceLocatorW = 0;
CLIPFORMAT ClipFormats::MozUrl = 0;
CLIPFORMAT ClipFormats::NetscapeUrl = 0;

void ClipFormats::Register()
{
    auto reg = [](const char* name) {
        return static_cast<CLIPFORMAT>(::RegisterClipboardFormatA(name));
    };
    FileGroupDescriptor = reg("FileGroupDescriptor");
    FileContents = reg("FileContents");
    UniformResourceLocator = reg("UniformResourceLocator");
    UniformResourceLocatorW = reg("UniformResourceLocatorW");
    MozUrl = reg("text/x-moz-url");
    NetscapeUrl = reg("_NETSCAPE_URL");
}
