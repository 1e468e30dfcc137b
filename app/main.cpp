#include <windows.h>
#include "../framework/WinApp.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int nCmdShow)
{
    return AfxWinMain(nCmdShow);
}
