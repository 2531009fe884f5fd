// winsim: devices reached through CreateFileW("\\.\NAME") and DeviceIoControl.
#pragma once

#include "kernel.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct _OVERLAPPED;

namespace winsim {

class DeviceModel;

// An open handle to a device. Waitable: signalled when its last overlapped request is
// complete (as a file object is on Windows).
class DeviceHandle : public Waitable {
public:
    DeviceHandle(std::shared_ptr<DeviceModel> m, DWORD access, DWORD share, DWORD flags)
        : model(std::move(m)), access(access), share(share), flags(flags) {}
    const char* TypeName() const override { return "File"; }
    bool IsSignaled(const Thread*) const override { return signaled; }
    bool Acquire(Thread*) override { return false; }
    void OnHandleClosed(Process& p) override;

    std::shared_ptr<DeviceModel> model;
    DWORD access;
    DWORD share;
    DWORD flags;  // FILE_FLAG_OVERLAPPED ...
    DWORD owner_pid = 0;
    bool signaled = true;
    unsigned open_handles = 1;
    // Model data kept per open handle.
    std::shared_ptr<void> state;
};

// An I/O control request as the device sees it.
struct IoctlRequest {
    DWORD code = 0;
    std::vector<uint8_t> in;
    DWORD out_size = 0;
    // Filled by the device for a request it completes at once.
    std::vector<uint8_t> out;
    DWORD error = 0;  // Win32 error: 0 success
};

class DeviceModel : public std::enable_shared_from_this<DeviceModel> {
public:
    virtual ~DeviceModel();
    // Whether the device exists now (CreateFileW fails with ERROR_FILE_NOT_FOUND if not).
    virtual bool Present() { return true; }
    // Opens the device; returns the Win32 error (0 on success). h is the new handle.
    virtual DWORD Open(Process& p, DeviceHandle& h) {
        (void)p;
        (void)h;
        return 0;
    }
    // The last handle to h was closed.
    virtual void Close(DeviceHandle& h) { (void)h; }
    // Handles a control request synchronously. Returning ERROR_IO_PENDING keeps it pending
    // (overlapped handles only); the model completes it later with CompletePending.
    virtual DWORD Ioctl(DeviceHandle& h, IoctlRequest& r) {
        (void)h;
        (void)r;
        return 1;  // ERROR_INVALID_FUNCTION
    }
    // Reads and writes (serial ports).
    virtual DWORD Read(DeviceHandle& h, void* buf, DWORD n, DWORD* got) {
        (void)h, (void)buf, (void)n;
        *got = 0;
        return 1;
    }
    virtual DWORD Write(DeviceHandle& h, const void* buf, DWORD n, DWORD* put) {
        (void)h, (void)buf, (void)n;
        *put = 0;
        return 1;
    }
};

}  // namespace winsim
