// Answers of the configuration-manager functions over the model's devnode
// tree. DEVINST values are node ids; a devnode that left answers
// CR_INVALID_DEVNODE. Buffer rules follow cfgmgr32: an ID that does not fit is
// copied as far as it goes with CR_BUFFER_SMALL; a property that does not fit is
// not copied, the needed size comes back with CR_BUFFER_SMALL.
#pragma once

#include <windows.h>
#include <cfgmgr32.h>

#include "SimModel.h"

namespace usbsim {

CONFIGRET CmLocateDevNode(const CSimModel& model, PDEVINST devInst, const wchar_t* deviceId,
                          ULONG flags);
CONFIGRET CmGetChild(const CSimModel& model, PDEVINST child, DEVINST devInst, ULONG flags);
CONFIGRET CmGetSibling(const CSimModel& model, PDEVINST sibling, DEVINST devInst, ULONG flags);
CONFIGRET CmGetParent(const CSimModel& model, PDEVINST parent, DEVINST devInst, ULONG flags);
CONFIGRET CmGetDeviceId(const CSimModel& model, DEVINST devInst, PWCHAR buffer, ULONG bufferChars,
                        ULONG flags);
CONFIGRET CmGetRegistryProperty(const CSimModel& model, DEVINST devInst, ULONG property,
                                PULONG regDataType, PVOID buffer, PULONG length, ULONG flags);

}  // namespace usbsim
