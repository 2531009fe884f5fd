// winsim: pending device requests: completion, cancellation and their NTSTATUS values.
#include <windows.h>

#include "winsim/device.h"
#include "winsim/kernel.h"

#include <cstring>

namespace winsim {

namespace {
struct StatusPair {
    DWORD win32;
    DWORD status;
};
// The pairs this machine produces; any other Win32 error travels as an NTSTATUS of the
// Win32 facility (0xC007xxxx), which maps back to the same error.
constexpr StatusPair kPairs[] = {
    {ERROR_SUCCESS, 0x00000000u},
    {ERROR_OPERATION_ABORTED, 0xC0000120u},    // STATUS_CANCELLED
    {ERROR_GEN_FAILURE, 0xC0000001u},          // STATUS_UNSUCCESSFUL
    {ERROR_INVALID_FUNCTION, 0xC0000010u},     // STATUS_INVALID_DEVICE_REQUEST
    {ERROR_INVALID_PARAMETER, 0xC000000Du},    // STATUS_INVALID_PARAMETER
    {ERROR_INSUFFICIENT_BUFFER, 0xC0000023u},  // STATUS_BUFFER_TOO_SMALL
    {ERROR_MORE_DATA, 0x80000005u},            // STATUS_BUFFER_OVERFLOW
    {ERROR_FILE_NOT_FOUND, 0xC0000034u},       // STATUS_OBJECT_NAME_NOT_FOUND
    {ERROR_NOT_READY, 0xC00000A3u},            // STATUS_DEVICE_NOT_READY
    {ERROR_SEM_TIMEOUT, 0xC00000B5u},          // STATUS_IO_TIMEOUT
    {ERROR_ACCESS_DENIED, 0xC0000022u},        // STATUS_ACCESS_DENIED
};
constexpr DWORD kFacilityWin32 = 0xC0070000u;
}  // namespace

DWORD NtStatusFromWin32(DWORD error) {
    for (const auto& p : kPairs)
        if (p.win32 == error) return p.status;
    return kFacilityWin32 | (error & 0xFFFF);
}

DWORD Win32FromNtStatus(DWORD status) {
    for (const auto& p : kPairs)
        if (p.status == status) return p.win32;
    if ((status & 0xFFFF0000u) == kFacilityWin32) return status & 0xFFFF;
    return ERROR_GEN_FAILURE;
}

namespace {
void Finish(const std::shared_ptr<PendingRequest>& r, DWORD error, DWORD n) {
    r->finished = true;
    r->error = error;
    r->bytes = n;
    if (r->ov) {
        r->ov->Internal = NtStatusFromWin32(error);
        r->ov->InternalHigh = n;
    }
    if (r->event) r->event->Set();
    if (r->done) r->done->Set();
    if (auto h = r->handle.lock()) {
        h->signaled = true;
        h->Signal();
    }
}
}  // namespace

void DeviceModel::CompletePending(const std::shared_ptr<PendingRequest>& r, DWORD error, const void* data, DWORD n) {
    if (!r || r->finished) return;
    pending_.remove(r);
    DWORD copied = 0;
    if (error == ERROR_SUCCESS || error == ERROR_MORE_DATA) {
        copied = n < r->out_size ? n : r->out_size;
        if (copied && r->out && data) std::memcpy(r->out, data, copied);
    }
    Finish(r, error, copied);
}

size_t DeviceModel::CancelPending(const DeviceHandle* h, DWORD tid, const _OVERLAPPED* ov) {
    std::vector<std::shared_ptr<PendingRequest>> hit;
    for (auto& r : pending_) {
        auto rh = r->handle.lock();
        if (h && rh.get() != h) continue;
        if (tid && r->tid != tid) continue;
        if (ov && r->ov != ov) continue;
        hit.push_back(r);
    }
    for (auto& r : hit) {
        pending_.remove(r);
        OnCancel(*r);
        Finish(r, ERROR_OPERATION_ABORTED, 0);
    }
    return hit.size();
}

}  // namespace winsim
