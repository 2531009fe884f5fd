// winsim: kernel32 device I/O: DeviceIoControl, GetOverlappedResult and CancelIo over the
// device models behind device handles (winsim/device.h).
#include "kernel32_internal.h"

#include "winsim/device.h"

#include <algorithm>
#include <atomic>
#include <cstring>

using namespace winsim;
using namespace winsim::kernel32;

BOOL WINAPI DeviceIoControl(HANDLE h, DWORD code, LPVOID in, DWORD in_size, LPVOID out, DWORD out_size,
                            LPDWORD returned, LPOVERLAPPED ov) {
    auto dh = Obj<DeviceHandle>(h);
    if (!dh) return Fail(ERROR_INVALID_HANDLE, FALSE);
    bool overlapped = (dh->flags & FILE_FLAG_OVERLAPPED) != 0;
    if (overlapped && !ov) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (!ov && !returned) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    IoctlRequest r;
    r.code = code;
    if (in && in_size) r.in.assign(static_cast<uint8_t*>(in), static_cast<uint8_t*>(in) + in_size);
    r.out_size = out ? out_size : 0;
    DWORD err = dh->model->Ioctl(*dh, r);
    if (err == ERROR_IO_PENDING) {
        auto p = std::make_shared<PendingRequest>();
        static std::atomic<uint64_t> next_id{1};
        p->id = next_id++;
        p->handle = dh;
        p->pid = Proc().pid;
        p->tid = CurrentThread().tid;
        p->code = code;
        p->tag = r.tag;
        p->in = std::move(r.in);
        p->out = out;
        p->out_size = r.out_size;
        p->done = std::make_shared<Event>(true, false);
        if (returned) *returned = 0;
        if (overlapped) {
            p->ov = ov;
            ov->Internal = STATUS_PENDING;
            ov->InternalHigh = 0;
            if (ov->hEvent) {
                p->event = Obj<Event>(ov->hEvent);
                if (p->event) p->event->Reset();
            }
            dh->signaled = false;
            dh->model->AddPending(p);
            return Fail(ERROR_IO_PENDING, FALSE);
        }
        // A handle without FILE_FLAG_OVERLAPPED: the call waits for the request, as the
        // I/O manager makes a synchronous caller wait on Windows.
        dh->model->AddPending(p);
        while (!p->finished) WaitOn({p->done}, false, INFINITE);
        if (returned) *returned = p->bytes;
        if (ov) {
            ov->Internal = NtStatusFromWin32(p->error);
            ov->InternalHigh = p->bytes;
        }
        if (p->error) return Fail(p->error, FALSE);
        return TRUE;
    }
    DWORD n = static_cast<DWORD>(std::min<size_t>(r.out.size(), r.out_size));
    if (n && out) std::memcpy(out, r.out.data(), n);
    if (returned) *returned = n;
    if (ov) {
        ov->Internal = NtStatusFromWin32(err);
        ov->InternalHigh = n;
        if (ov->hEvent) SetEvent(ov->hEvent);
    }
    if (err) return Fail(err, FALSE);
    return TRUE;
}

BOOL WINAPI GetOverlappedResult(HANDLE h, LPOVERLAPPED ov, LPDWORD n, BOOL wait) {
    if (!ov) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    if (ov->Internal == STATUS_PENDING) {
        if (!wait) return Fail(ERROR_IO_INCOMPLETE, FALSE);
        HANDLE w = ov->hEvent ? ov->hEvent : h;
        while (ov->Internal == STATUS_PENDING)
            if (WaitForSingleObject(w, INFINITE) == WAIT_FAILED) return FALSE;
    }
    if (n) *n = static_cast<DWORD>(ov->InternalHigh);
    DWORD status = static_cast<DWORD>(ov->Internal);
    if (status != 0) return Fail(Win32FromNtStatus(status), FALSE);
    return TRUE;
}

BOOL WINAPI CancelIo(HANDLE h) {
    auto dh = Obj<DeviceHandle>(h);
    if (!dh) return Fail(ERROR_INVALID_HANDLE, FALSE);
    dh->model->CancelPending(dh.get(), CurrentThread().tid, nullptr);
    return TRUE;
}

BOOL WINAPI CancelIoEx(HANDLE h, LPOVERLAPPED ov) {
    auto dh = Obj<DeviceHandle>(h);
    if (!dh) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (dh->model->CancelPending(dh.get(), 0, ov) == 0) return Fail(ERROR_NOT_FOUND, FALSE);
    return TRUE;
}

void DeviceHandle::OnHandleClosed(Process&) {
    if (open_handles > 0 && --open_handles == 0) {
        // Closing the last handle cancels what is still pending on it.
        model->CancelPending(this, 0, nullptr);
        model->Close(*this);
    }
}
