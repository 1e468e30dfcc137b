#pragma once
#include <windows.h>

// A GDI font, deleted with the object.
class CFont {
public:
    CFont() = default;
    ~CFont() { if (m_hFont) ::DeleteObject(m_hFont); }
    CFont(const CFont&) = delete;
    CFont& operator=(const CFont&) = delete;

    // A font of `tenthsOfPoint` / 10 points for the screen; an empty face
    // lets the system choose one for the character set of the code page.
    bool CreatePointFont(int tenthsOfPoint, const char* face)
    {
        HDC dc = ::GetDC(nullptr);
        const int dpi = ::GetDeviceCaps(dc, LOGPIXELSY);
        ::ReleaseDC(nullptr, dc);
        LOGFONTA lf{};
        lf.lfHeight = -::MulDiv(tenthsOfPoint, dpi, 720);
        lf.lfCharSet = DEFAULT_CHARSET;
        ::lstrcpynA(lf.lfFaceName, face, LF_FACESIZE);
        m_hFont = ::CreateFontIndirectA(&lf);
        return m_hFont != nullptr;
    }

    HFONT m_hFont = nullptr;
};
