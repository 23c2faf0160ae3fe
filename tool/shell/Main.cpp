// Entry point of QuorvelZRVTool.exe.
#include <windows.h>

#include "App.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CTolvaneToolApp app;
    return app.InitInstance(GetCommandLineW());
}
