// The program's one application object and its entry point.
#include "app/ShowApp.h"

CShowApp theApp;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return AfxWinMain(instance);
}
