// ShortcutRunner: opens a web address or starts a program, without a window of its own.
#include <windows.h>
#include <objbase.h>

#include <string>

#include "ArgumentText.h"
#include "LaunchRequest.h"
#include "ProgramLauncher.h"
#include "UrlOpener.h"

namespace {

// The shell may hand the work to COM-based extensions (Internet shortcuts are one).
class CComApartment {
public:
    CComApartment()
        : initialized_(SUCCEEDED(
              CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}
    ~CComApartment() {
        if (initialized_) CoUninitialize();
    }
    CComApartment(const CComApartment&) = delete;
    CComApartment& operator=(const CComApartment&) = delete;

private:
    bool initialized_;
};

int Run(std::wstring_view commandLine) {
    // A private copy: the parser cuts it in place.
    std::wstring arguments(ArgumentTextOf(commandLine));
    if (IsWebAddress(arguments)) return OpenWebAddress(arguments);
    const LaunchRequest request = ParseLaunchRequest(arguments.data());
    return LaunchProgram(request);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    CComApartment com;
    return Run(GetCommandLineW());
}
