// The platform's USB I/O control structures, with their sizes pinned: the
// answers are written byte for byte in these layouts.
#pragma once

#include <windows.h>
#include <winioctl.h>
#include <usbioctl.h>
#include <usbiodef.h>

static_assert(sizeof(USB_HCD_DRIVERKEY_NAME) == 6, "head + one character");
static_assert(sizeof(USB_ROOT_HUB_NAME) == 6, "head + one character");
static_assert(sizeof(USB_NODE_CONNECTION_NAME) == 10, "port + head + one character");
static_assert(sizeof(USB_NODE_CONNECTION_DRIVERKEY_NAME) == 10, "port + head + one character");
static_assert(sizeof(USB_DEVICE_DESCRIPTOR) == 18, "device descriptor");
static_assert(sizeof(USB_HUB_DESCRIPTOR) == 71, "hub descriptor");
static_assert(sizeof(USB_NODE_INFORMATION) == 76, "node information");
static_assert(sizeof(USB_PIPE_INFO) == 11, "pipe info");
static_assert(sizeof(USB_NODE_CONNECTION_INFORMATION_EX) == 35, "without the pipe list");
static_assert(sizeof(USB_NODE_CONNECTION_INFORMATION) == 35, "without the pipe list");
static_assert(IOCTL_USB_GET_ROOT_HUB_NAME == IOCTL_USB_GET_NODE_INFORMATION,
              "one code: the handle decides which is meant");

// Not in every SDK's winerror.h: what a handle of an unplugged device answers.
#ifndef ERROR_NO_SUCH_DEVICE
#define ERROR_NO_SUCH_DEVICE 433L
#endif
