// Public face of the hub library: the 32 exports, the codes that cross the
// boundary, the notification record and the tree interfaces.
//
// Every export is a plain C function with the C calling convention. Booleans
// are one byte, integers 32-bit, strings UTF-16. Callers bind the exports by
// name at run time.
#pragma once

#include <cstdint>

static_assert(sizeof(bool) == 1, "booleans cross the boundary as one byte");

#ifndef HALVEXZRV_API
#define HALVEXZRV_API extern "C"
#endif

// Return codes of every integer result.
enum ResultCode : int32_t {
    RESULT_SUCCESS = 0,
    RESULT_FAILURE = -1,
    RESULT_OTP_WRITE_LIMIT = -3,
    RESULT_NO_SPI_FLASH = -4,
    RESULT_INVALID_DATA = -5,
    RESULT_INSUFFICIENT_SPACE = -6,
    RESULT_VALIDATION_FAILED = -7,
    RESULT_DEVICE_NOT_FOUND = -8,
    RESULT_INVALID_PARAMETER = -9,
    RESULT_RESOURCE_FAILURE = -10,
    RESULT_OPEN_FAILED = -11,
    RESULT_VERIFY_MISMATCH = -12,
    RESULT_DEVICE_IO_FAILED = -13,
    RESULT_READ_FAILED = -14,
    RESULT_COMPARE_FAILED = -15,
    RESULT_NO_VENDOR_BLOCK = -16,
};

enum HubStatus : int32_t {
    HUB_STATUS_NEW_UNPROGRAMMED = 0,
    HUB_STATUS_OPEN_FAILED = 1,
    HUB_STATUS_PROGRAMMING = 2,
    HUB_STATUS_PROGRAMMED = 3,
    HUB_STATUS_PROGRAM_FAILED = 4,
    HUB_STATUS_VERIFIED = 5,
    HUB_STATUS_VERIFY_FAILED = 6,
    HUB_STATUS_PROGRAMMED_VERIFIED = 7,
    HUB_STATUS_PROGRAM_VERIFY_FAILED = 8,
    HUB_STATUS_VERIFYING = 9,
    HUB_STATUS_PROGRAMMING_VERIFYING = 10,
    HUB_STATUS_INSUFFICIENT_SPACE = 11,
    HUB_STATUS_SPI_FLASH_ERROR = 12,
    HUB_STATUS_OTP_WRITE_LIMIT = 13,
    HUB_STATUS_UNKNOWN = 14,
};

enum StorageMode : int32_t {
    STORAGE_SPI_PARTIAL_CONFIG = 0,
    STORAGE_SPI_COPY_FROM_OTP = 1,
    STORAGE_SPI = 2,
    STORAGE_OTP = 3,
    STORAGE_UNKNOWN = 4,
};

// 0 and 1 both mean: read back and compare after programming.
enum ValidationMethod : int32_t {
    VALIDATION_VERIFY = 0,
    VALIDATION_VERIFY_ALT = 1,
    VALIDATION_NONE = 2,
};

enum HubFamily : int32_t {
    HUB_FAMILY_MIRAVEL = 0,
    HUB_FAMILY_TORVIK = 1,
    HUB_FAMILY_GENERIC = 2,
    HUB_FAMILY_UNKNOWN = 3,
};

enum NotificationEvent : int32_t {
    EVENT_HUB_STATUS = 1,
    EVENT_DEVICE_ARRIVED = 2,
    EVENT_DEVICE_REMOVED = 3,
    EVENT_MANAGER_STATE = 4,
    EVENT_DEVICE_FINISHED = 5,
    EVENT_HUB_RELEASED = 6,
    EVENT_MANAGER_FINISHED = 7,
};

// Data of EVENT_MANAGER_STATE.
enum ProgrammerManagerState : int32_t {
    PROGRAMMGR_READY = 0,
    PROGRAMMGR_STARTED_PROGRAMMING = 1,
    PROGRAMMGR_FINISHED = 2,
    PROGRAMMGR_NOTHING_TO_PROGRAM = 3,
};

constexpr int kDevicePathLength = 200;

// Passed with events 1, 2, 3, 5 and 6. Allocated by the library with
// HeapAlloc(GetProcessHeap(), ...); the receiver frees it with HeapFree.
struct NotificationRecord {
    wchar_t DevicePath[kDevicePathLength];
    int32_t Length;
    int32_t Value;
};
static_assert(sizeof(NotificationRecord) == 408, "NotificationRecord crosses the boundary");

// data is a NotificationRecord* or, for events 4 and 7, an integer.
typedef bool(__cdecl* NotificationCallback)(uintptr_t data, int32_t event);

enum NodeType : int32_t {
    NODE_TYPE_HOST_CONTROLLER = 0,
    NODE_TYPE_HUB = 2,
    NODE_TYPE_DEVICE = 5,
    NODE_TYPE_UNKNOWN = 6,
};

// One node of a tree: a host controller or a port. Copies returned by the
// tree belong to the caller and are destroyed through the destructor.
class IUsbNode {
public:
    virtual int32_t GetNodeType() = 0;
    virtual int32_t SetNodeType(int32_t type) = 0;
    virtual int32_t GetParentIndex() = 0;
    virtual int32_t SetParentIndex(int32_t index) = 0;
    virtual void SetDeviceInstanceID(const wchar_t* text) = 0;
    virtual const wchar_t* GetDeviceInstanceID() = 0;
    virtual const wchar_t* GetDisplayName() = 0;
    virtual const wchar_t* GetDevicePath() = 0;
    virtual ~IUsbNode() {}
    virtual int32_t SetUseCount(int32_t count) = 0;
    // Added last, so the slots above keep their places: the number of the hub
    // port the node stands for (1-based), 0 for a host controller.
    virtual int32_t GetPortNumber() = 0;
};
static_assert(sizeof(IUsbNode) == sizeof(void*), "IUsbNode is a bare interface");

// Per host controller a flat list of nodes; node 0 is the controller.
class IDeviceTree {
public:
    virtual bool Refresh() = 0;
    virtual int32_t GetNodeCount(int32_t controller) = 0;
    virtual int32_t GetControllerCount() = 0;
    virtual IUsbNode* FindNode(const wchar_t* interfacePath, int32_t* controller,
                               int32_t* node) = 0;
    virtual IUsbNode* GetNode(int32_t controller, int32_t node) = 0;
    virtual bool FindNodeIndices(const wchar_t* interfacePath, int32_t* controller,
                                 int32_t* node) = 0;
    virtual int32_t SetNodeUseCount(int32_t controller, int32_t node, int32_t count) = 0;
    virtual ~IDeviceTree() {}
};
static_assert(sizeof(IDeviceTree) == sizeof(void*), "IDeviceTree is a bare interface");

// Per-hub exports: the hub is named by its index pair in the snapshot.
HALVEXZRV_API int32_t __cdecl SetConfigurationBlock(int32_t controller, int32_t node,
                                                    const uint8_t* bytes, uint32_t size);
HALVEXZRV_API int32_t __cdecl SetFirmwarImage(int32_t controller, int32_t node,
                                              const uint8_t* bytes, uint32_t size);
HALVEXZRV_API int32_t __cdecl SetVendorBlock(int32_t controller, int32_t node, const uint8_t* bytes,
                                             uint32_t size);
HALVEXZRV_API bool __cdecl SetProgrammingRequired(int32_t controller, int32_t node, bool required);
HALVEXZRV_API bool __cdecl GetProgrammingRequired(int32_t controller, int32_t node);
HALVEXZRV_API int32_t __cdecl SetStorageMode(int32_t controller, int32_t node, int32_t mode);
HALVEXZRV_API int32_t __cdecl GetStorageMode(int32_t controller, int32_t node);
HALVEXZRV_API bool __cdecl SetValidationMethod(int32_t controller, int32_t node, int32_t method);
HALVEXZRV_API int32_t __cdecl GetValidationMethod(int32_t controller, int32_t node);
HALVEXZRV_API int32_t __cdecl GetHubStatus(int32_t controller, int32_t node);
HALVEXZRV_API bool __cdecl IsNewDevice(int32_t controller, int32_t node);
HALVEXZRV_API bool __cdecl IsPseudoOTPSet(int32_t controller, int32_t node);
HALVEXZRV_API bool __cdecl IsVendorBlockPresent(int32_t controller, int32_t node);
HALVEXZRV_API int32_t __cdecl GetUUID(int32_t controller, int32_t node, uint8_t* buffer,
                                      uint32_t size);
HALVEXZRV_API bool __cdecl CanDeviceBeRemoved(int32_t controller, int32_t node);
HALVEXZRV_API int32_t __cdecl GetHubFamily(int32_t controller, int32_t node);

// Trees.
HALVEXZRV_API IDeviceTree* __cdecl CreateDeviceTree();
HALVEXZRV_API IDeviceTree* __cdecl CreateDeviceTreeUI();
HALVEXZRV_API void __cdecl DeleteDeviceTree();
HALVEXZRV_API void __cdecl DeleteDeviceTreeUI();
HALVEXZRV_API int32_t __cdecl FinishedUsingDeviceTreeUI();
HALVEXZRV_API bool __cdecl GetDeviceIndicesUI(const wchar_t* interfacePath, int32_t* controller,
                                              int32_t* node);

// Monitor, events, programming.
HALVEXZRV_API int32_t __cdecl StartEnumeration();
HALVEXZRV_API void __cdecl StopEnumeration();
HALVEXZRV_API bool __cdecl RegisterNotificationCallback(NotificationCallback callback);
HALVEXZRV_API int32_t __cdecl FinishedProcessingEvent(int32_t event);
HALVEXZRV_API int32_t __cdecl SetNumberOfConfiguredHubs(int32_t count);
HALVEXZRV_API int32_t __cdecl StartProgrammerManager(bool executeOnce);
HALVEXZRV_API int32_t __cdecl StopProgrammerManager();
HALVEXZRV_API bool __cdecl IsProgrammerManagerRunning();

// Debug exports: the hub is named by its device path.
HALVEXZRV_API int32_t __cdecl DumpOTP(const wchar_t* devicePath, int32_t pathLength,
                                      const wchar_t* fileName);
HALVEXZRV_API int32_t __cdecl WriteToRAM(const wchar_t* devicePath, int32_t pathLength,
                                         const uint8_t* bytes, uint32_t size);
