// winsim: devices reached through CreateFileW("\\.\NAME") and DeviceIoControl.
#pragma once

#include "kernel.h"

#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

struct _OVERLAPPED;

namespace winsim {

class DeviceModel;
class Event;

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
    // Set by a device that keeps the request pending (returns ERROR_IO_PENDING): its own
    // key for the request (an event number ...), found again in PendingRequest::tag.
    uint64_t tag = 0;
};

// A request that a device keeps pending until it completes or cancels it.
//
// DeviceIoControl creates it when the device's Ioctl answers ERROR_IO_PENDING. On a handle
// opened with FILE_FLAG_OVERLAPPED the call then fails with ERROR_IO_PENDING and the
// caller's OVERLAPPED shows STATUS_PENDING (its event is reset) until the device completes
// the request: the output is copied into the caller's buffer, Internal becomes the NTSTATUS
// and InternalHigh the byte count, and the OVERLAPPED's event and the handle are signalled.
// On a handle opened without that flag the call blocks, as on Windows, until the request
// completes or is cancelled. Cancellation (CancelIo: the calling thread's requests on the
// handle; CancelIoEx: the handle's requests, or the one with the given OVERLAPPED; closing
// the last handle: all of the handle's requests) completes with ERROR_OPERATION_ABORTED
// (STATUS_CANCELLED) and writes no output.
// The caller's output buffer and OVERLAPPED must stay valid until then, as on Windows.
struct PendingRequest {
    uint64_t id = 0;
    std::weak_ptr<DeviceHandle> handle;
    DWORD pid = 0;
    DWORD tid = 0;   // issuing thread
    DWORD code = 0;  // I/O control code
    uint64_t tag = 0;
    std::vector<uint8_t> in;
    void* out = nullptr;  // the caller's output buffer
    DWORD out_size = 0;
    _OVERLAPPED* ov = nullptr;     // the caller's OVERLAPPED (null for a blocking call)
    std::shared_ptr<Event> event;  // the OVERLAPPED's event, resolved when the request was made
    std::shared_ptr<Event> done;   // set at completion (a blocking caller waits on it)
    bool finished = false;
    DWORD error = 0;  // Win32 result once finished
    DWORD bytes = 0;
};

// NTSTATUS values of OVERLAPPED::Internal and the Win32 errors they stand for.
DWORD NtStatusFromWin32(DWORD error);
DWORD Win32FromNtStatus(DWORD status);

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
    // A pending request was cancelled (before it is reported to the caller).
    virtual void OnCancel(PendingRequest& r) { (void)r; }

    // Pending requests, oldest first. Completing and cancelling them touches kernel objects:
    // call these on a simulated thread (the run-token holder).
    const std::list<std::shared_ptr<PendingRequest>>& pending() const { return pending_; }
    void AddPending(std::shared_ptr<PendingRequest> r) { pending_.push_back(std::move(r)); }
    // Completes r with a Win32 result and output data (at most the caller's output size).
    void CompletePending(const std::shared_ptr<PendingRequest>& r, DWORD error, const void* data, DWORD n);
    // Cancels the pending requests of h; only those of thread tid (0: any) and only the one
    // made with ov (null: any). Returns how many were cancelled.
    size_t CancelPending(const DeviceHandle* h, DWORD tid, const _OVERLAPPED* ov);

private:
    std::list<std::shared_ptr<PendingRequest>> pending_;
};

}  // namespace winsim
