// Control interface of the simulated USB fixture (UsbSim.dll): loading a fixture,
// hot plug for tests and tools, and the hardware table the hub library uses.
// Every function returns USBSIM_OK or a negative code; UsbSimGetLastError then
// tells what went wrong (file, JSON path, position).
#pragma once

#include <wchar.h>

struct HardwareApi;

#define USBSIM_OK 0
#define USBSIM_ERROR_FIXTURE (-1)    // fixture or board missing or malformed
#define USBSIM_ERROR_POSITION (-2)   // position malformed, unknown, occupied or empty
#define USBSIM_ERROR_NO_MODEL (-3)   // nothing loaded yet
#define USBSIM_ERROR_ARGUMENT (-4)   // null or oversized argument
#define USBSIM_ERROR_TIMEOUT (-5)    // UsbSimWaitIdle: still busy
#define USBSIM_ERROR_NOT_FOUND (-6)  // no such chip or memory area

extern "C" {

// The simulator's hardware table. Loads the fixture named by ZRV_USBSIM on the
// first call when nothing was loaded yet; null when that fixture is broken (the
// error is written to stderr and the debugger). Without ZRV_USBSIM and without a
// loaded fixture the table answers for an empty PC.
const HardwareApi* __cdecl UsbSimGetHardwareApi(void);

// Replaces the model by the fixture file (a path relative to the working directory
// or absolute). Open handles of the old model fail from now on; registered
// notification windows stay registered. No notifications are sent.
int __cdecl UsbSimLoad(const wchar_t* fixturePath);

// The same from JSON text; file names inside it are relative to baseDir (may be null).
int __cdecl UsbSimLoadJson(const char* fixtureJsonUtf8, const wchar_t* baseDir);

// Reloads the last loaded fixture: every chip and port back to its initial state.
int __cdecl UsbSimReset(void);

// Plugs a board (a file holding one "hub" or "device" object) into an empty port.
// position is the tool's string, e.g. L"1-1-2-3": port 3 of the hub on root port 2
// of the first controller. Registered windows receive DBT_DEVICEARRIVAL for every
// interface that arrived, parents first, from the simulator's notification
// thread after the call returned (UsbSimWaitIdle waits for them).
int __cdecl UsbSimAttach(const wchar_t* position, const wchar_t* boardPath);
int __cdecl UsbSimAttachJson(const wchar_t* position, const char* boardJsonUtf8);

// Unplugs whatever hangs on the port; DBT_DEVICEREMOVECOMPLETE for every
// interface that left, children first, delivered the same way.
int __cdecl UsbSimDetach(const wchar_t* position);

// Copies the last error text (zero-terminated, truncated to fit); returns its full length.
int __cdecl UsbSimGetLastError(wchar_t* buffer, int bufferChars);

// Copies the name of the pipe through which usbsimctl reaches this process; empty
// when no server runs. Returns the full length.
int __cdecl UsbSimGetPipeName(wchar_t* buffer, int bufferChars);

// Stops the pipe server (call before FreeLibrary; the model stays).
void __cdecl UsbSimShutdown(void);

// Waits until no hub is away in a reboot (left the bus and not yet back) and
// every notification was delivered. Messages sent to the calling thread's own
// windows are handled while it waits. Not from inside a WM_DEVICECHANGE handler:
// the message being handled is still under way, so the wait runs out.
int __cdecl UsbSimWaitIdle(unsigned timeoutMs);

// Copies up to `size` bytes of one memory area ("otp", "flash", ...) of the chip
// with that instance ID; returns the area's full length, or USBSIM_ERROR_NOT_FOUND.
// A chip no request reached since the load reads as its fixture describes it.
int __cdecl UsbSimReadChipMemory(const wchar_t* instanceId, const char* area, unsigned char* buffer,
                                 int size);

// Device time spent since the last fixture load, in ms before the time scale:
// the latency of every chip operation (both families) and the pauses callers
// made through the hardware table's Sleep.
struct UsbSimDeviceTime {
    double chipMs;
    double pauseMs;
    unsigned long long chipOperations;
    unsigned long long pauses;
};
int __cdecl UsbSimGetDeviceTime(struct UsbSimDeviceTime* totals);

// First-family chip access, the transport of zelvo.dll. A session is opened on
// a hub's device interface path ("\\?\USB#VID_...#{guid}"); every call
// returns 0 or a Windows error code. A session of a hub that has left the bus
// fails with ERROR_DEVICE_NOT_CONNECTED. Loads ZRV_USBSIM when nothing is
// loaded yet; without a fixture no hub opens (ERROR_FILE_NOT_FOUND).
int __cdecl UsbSimFirstOpen(const wchar_t* interfacePath, void** session);
int __cdecl UsbSimFirstClose(void* session);
// *read: bytes copied (fewer than length at the end of the OTP or on a short read).
int __cdecl UsbSimFirstReadOtp(void* session, unsigned offset, unsigned char* buffer,
                               unsigned length, unsigned* read);
// Appends a block after the last one of the area that starts at areaOffset.
int __cdecl UsbSimFirstProgramOtp(void* session, unsigned areaOffset, const unsigned char* data,
                                  unsigned length);
int __cdecl UsbSimFirstReadRam(void* session, unsigned offset, unsigned char* buffer,
                               unsigned length);
int __cdecl UsbSimFirstWriteRam(void* session, unsigned offset, const unsigned char* data,
                                unsigned length);
int __cdecl UsbSimFirstApplyRam(void* session);
// read 0: write length bytes from address on; read 1: read them.
int __cdecl UsbSimFirstAccessRegister(void* session, unsigned address, int read,
                                      unsigned char* buffer, unsigned length);
int __cdecl UsbSimFirstReadControl(void* session, unsigned code, unsigned char* buffer,
                                   unsigned length);
// The hub leaves the bus and comes back in DFU state after the reboot latency.
int __cdecl UsbSimFirstRebootToDfu(void* session);
int __cdecl UsbSimFirstWriteStatus(void* session, unsigned char value);
int __cdecl UsbSimFirstChipErase(void* session);
int __cdecl UsbSimFirstSectorErase(void* session, unsigned address);
int __cdecl UsbSimFirstPageProgram(void* session, unsigned address, const unsigned char* data,
                                   unsigned length);
int __cdecl UsbSimFirstReadFlash(void* session, unsigned address, unsigned char* buffer,
                                 unsigned length);

}  // extern "C"

typedef int(__cdecl* PfnUsbSimLoad)(const wchar_t*);
typedef int(__cdecl* PfnUsbSimLoadJson)(const char*, const wchar_t*);
typedef int(__cdecl* PfnUsbSimReset)(void);
typedef int(__cdecl* PfnUsbSimGetDeviceTime)(struct UsbSimDeviceTime*);
typedef int(__cdecl* PfnUsbSimAttach)(const wchar_t*, const wchar_t*);
typedef int(__cdecl* PfnUsbSimAttachJson)(const wchar_t*, const char*);
typedef int(__cdecl* PfnUsbSimDetach)(const wchar_t*);
typedef int(__cdecl* PfnUsbSimGetLastError)(wchar_t*, int);
typedef int(__cdecl* PfnUsbSimWaitIdle)(unsigned);
typedef int(__cdecl* PfnUsbSimReadChipMemory)(const wchar_t*, const char*, unsigned char*, int);

// Second-family hubs, for the KX7100API.dll stand-in: the hub's vendor function
// on its fifth endpoint (present once the two vendor requests enabled it, or
// from the start with "ep5Enabled"). hubPath is the hub's device interface path.
// Results: USBSIM_OK; a positive Windows error code when the USB transfer
// failed (an unplugged hub gives ERROR_NO_SUCH_DEVICE); or one of these:
#define USBSIM_SECOND_REFUSED (-10)            // the chip refused or failed the operation
#define USBSIM_SECOND_NO_FLASH (-11)           // no SPI flash answers
#define USBSIM_SECOND_UNSUPPORTED_FLASH (-12)  // a flash the chip cannot use
extern "C" {
int __cdecl UsbSimSecondOpen(const wchar_t* hubPath, void** handle);
int __cdecl UsbSimSecondClose(void* handle);
int __cdecl UsbSimSecondReadRegister(void* handle, unsigned address, unsigned char* value);
int __cdecl UsbSimSecondWriteRegister(void* handle, unsigned address, unsigned char value);
// done: bytes read or written (a small OTP ends before 2048).
int __cdecl UsbSimSecondReadOtp(void* handle, unsigned offset, unsigned char* buffer,
                                unsigned count, unsigned* done);
int __cdecl UsbSimSecondWriteOtp(void* handle, unsigned offset, const unsigned char* data,
                                 unsigned count, unsigned* done);
// Version word (little-endian), ROM version word, boot status, OTP size register.
int __cdecl UsbSimSecondHubInfo(void* handle, unsigned char* buffer, unsigned capacity,
                                unsigned* length);
int __cdecl UsbSimSecondPassthrough(void* handle, int enter);
int __cdecl UsbSimSecondFlashId(void* handle);
// Flash bytes first..last, inclusive.
int __cdecl UsbSimSecondReadFlash(void* handle, unsigned first, unsigned last,
                                  unsigned char* buffer);
// Erases what the image covers and programs it from address 0.
int __cdecl UsbSimSecondLoadFlash(void* handle, const unsigned char* image, unsigned size);
// Erases the boot signature; the hub leaves the bus and returns running from
// ROM, its fifth endpoint disabled.
int __cdecl UsbSimSecondEraseSignature(void* handle);
}  // extern "C"
typedef int(__cdecl* PfnUsbSimSecondOpen)(const wchar_t*, void**);
typedef int(__cdecl* PfnUsbSimSecondClose)(void*);
typedef int(__cdecl* PfnUsbSimSecondReadRegister)(void*, unsigned, unsigned char*);
typedef int(__cdecl* PfnUsbSimSecondWriteRegister)(void*, unsigned, unsigned char);
typedef int(__cdecl* PfnUsbSimSecondReadOtp)(void*, unsigned, unsigned char*, unsigned, unsigned*);
typedef int(__cdecl* PfnUsbSimSecondWriteOtp)(void*, unsigned, const unsigned char*, unsigned,
                                              unsigned*);
typedef int(__cdecl* PfnUsbSimSecondHubInfo)(void*, unsigned char*, unsigned, unsigned*);
typedef int(__cdecl* PfnUsbSimSecondPassthrough)(void*, int);
typedef int(__cdecl* PfnUsbSimSecondFlashId)(void*);
typedef int(__cdecl* PfnUsbSimSecondReadFlash)(void*, unsigned, unsigned, unsigned char*);
typedef int(__cdecl* PfnUsbSimSecondLoadFlash)(void*, const unsigned char*, unsigned);
typedef int(__cdecl* PfnUsbSimSecondEraseSignature)(void*);
