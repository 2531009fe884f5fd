// The method and event driver \\.\VUNDG and pending device requests: method evaluation,
// event registration completed by the machine, cancelled by the caller or by closing.
#include <windows.h>

#include <process.h>

#include "sim_fixture.h"
#include "winsim/vundg.h"

#include <cstring>

namespace {

using winsim::VundgDriver;

constexpr DWORD kEval = 0x222940;
constexpr DWORD kWait = 0x222944;

class VundgTest : public SimTest {
protected:
    VundgTest() : SimTest("tablet") {}
    VundgDriver drv() { return VundgDriver(machine()); }

    HANDLE Open(bool overlapped) {
        return CreateFileW(L"\\\\.\\VUNDG", 0, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | (overlapped ? FILE_FLAG_OVERLAPPED : 0), NULL);
    }

    static void EvalInput(DWORD in[8], DWORD method) {
        std::memset(in, 0, 32);
        in[1] = 8;
        in[2] = 0x42696541;
        in[3] = method;
    }
};

struct EvalCase {
    const char* name;
    DWORD method;
    DWORD method_error;  // injected
    DWORD reply_size;    // injected (0: default)
    DWORD reply_status;  // injected
    BOOL ok;
    DWORD error;
    DWORD returned;
    DWORD out0;
    DWORD out24;  // 0xCCCCCCCC: left as before the call
};

class VundgEvalTest : public VundgTest, public ::testing::WithParamInterface<EvalCase> {};

TEST_P(VundgEvalTest, AnswersThe32ByteRequest) {
    const EvalCase& c = GetParam();
    drv().set_plst(0x15);
    if (c.method_error) drv().set_method_error(c.method_error);
    if (c.reply_size) drv().set_reply_size(c.reply_size);
    if (c.reply_status) drv().set_reply_status(c.reply_status);
    HANDLE h = Open(false);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD in[8], out[8];
    EvalInput(in, c.method);
    for (auto& w : out) w = 0xCCCCCCCC;
    out[1] = 20;
    OVERLAPPED ov{};
    DWORD ret = 0xBAD;
    BOOL ok = DeviceIoControl(h, kEval, in, 32, out, 32, &ret, &ov);
    EXPECT_EQ(c.ok, ok);
    if (!ok) {
        EXPECT_EQ(c.error, GetLastError());
    } else {
        EXPECT_EQ(c.returned, ret);
        EXPECT_EQ(c.out0, out[0]);
        EXPECT_EQ(20u, out[1]);
        EXPECT_EQ(c.out24, out[6]);
    }
    CloseHandle(h);
    auto log = drv().log();
    ASSERT_EQ(1u, log.size());
    EXPECT_EQ(kEval, log[0].code);
    EXPECT_EQ(std::vector<uint8_t>(reinterpret_cast<uint8_t*>(in), reinterpret_cast<uint8_t*>(in) + 32), log[0].in);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, VundgEvalTest,
    ::testing::Values(EvalCase{"Plst", winsim::kVundgMethodPlst, 0, 0, 0, TRUE, 0, 28, 0, 0x15},
                      EvalCase{"StatusWord", winsim::kVundgMethodPlst, 0, 0, 0x80, TRUE, 0, 28, 0x80, 0x15},
                      EvalCase{"ShortReply", winsim::kVundgMethodPlst, 0, 24, 0, TRUE, 0, 24, 0, 0xCCCCCCCC},
                      EvalCase{"UnknownMethod", 0x54534C51, 0, 0, 0, FALSE, ERROR_FILE_NOT_FOUND, 0, 0, 0},
                      EvalCase{"InjectedFailure", winsim::kVundgMethodPlst, ERROR_GEN_FAILURE, 0, 0, FALSE,
                               ERROR_GEN_FAILURE, 0, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VundgTest, AbsentDriverAndBadRequests) {
    HANDLE h = Open(false);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DWORD in[8], out[8], ret;
    EvalInput(in, winsim::kVundgMethodPlst);
    in[2] = 0;  // no signature
    EXPECT_FALSE(DeviceIoControl(h, kEval, in, 32, out, 32, &ret, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_PARAMETER), GetLastError());
    EvalInput(in, winsim::kVundgMethodPlst);
    EXPECT_FALSE(DeviceIoControl(h, kEval, in, 32, out, 20, &ret, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), GetLastError());
    EXPECT_FALSE(DeviceIoControl(h, 0x222948, in, 32, out, 32, &ret, NULL));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION), GetLastError());
    CloseHandle(h);

    drv().set_present(false);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(false));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), GetLastError());
    drv().set_present(true);
    drv().set_open_error(ERROR_ACCESS_DENIED);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(true));
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), GetLastError());
}

// A registration on an overlapped handle as the driver-event reader makes it.
struct Registration {
    DWORD in[2] = {0, 134};
    DWORD out[2] = {0xFFFFFFFF, 0};
    OVERLAPPED ov{};
    HANDLE event = NULL;
    BOOL result = FALSE;
    DWORD error = 0;

    Registration(HANDLE h, DWORD id, HANDLE ev) {
        in[1] = id;
        event = ev;
        ov.hEvent = ev;
        SetEvent(ev);  // the request resets it
        result = DeviceIoControl(h, kWait, in, 8, out, 8, NULL, &ov);
        error = GetLastError();
    }
};

TEST_F(VundgTest, PendingEventCompletesWhenTheMachineFiresIt) {
    HANDLE h = Open(true);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    HANDLE ev = CreateEventW(NULL, TRUE, FALSE, L"VUNDGIF:EventName134");
    Registration r(h, 134, ev);
    EXPECT_FALSE(r.result);
    EXPECT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), r.error);
    EXPECT_EQ(static_cast<ULONG_PTR>(STATUS_PENDING), r.ov.Internal);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(ev, 0));
    DWORD n = 0;
    EXPECT_FALSE(GetOverlappedResult(h, &r.ov, &n, FALSE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_IO_INCOMPLETE), GetLastError());
    EXPECT_EQ(1u, drv().Pending(134));

    EXPECT_EQ(0u, drv().Fire(135, 7));  // another event number
    EXPECT_EQ(0xFFFFFFFFu, r.out[0]);
    EXPECT_EQ(1u, drv().Fire(134, 2));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(ev, 0));
    EXPECT_EQ(2u, r.out[0]);
    EXPECT_EQ(0u, r.ov.Internal);
    EXPECT_EQ(8u, r.ov.InternalHigh);
    EXPECT_TRUE(GetOverlappedResult(h, &r.ov, &n, FALSE));
    EXPECT_EQ(8u, n);
    EXPECT_EQ(0u, drv().Pending(134));
    EXPECT_EQ(0u, drv().Fire(134, 3));  // nothing is pending any more
    CloseHandle(ev);
    CloseHandle(h);
}

unsigned __stdcall FireLater(void* arg) {
    auto* m = static_cast<winsim::Machine*>(arg);
    Sleep(500);
    VundgDriver(*m).Fire(134, 9);
    return 0;
}

TEST_F(VundgTest, WaiterWakesOnTheVirtualClockWhenAnotherThreadFires) {
    HANDLE h = Open(true);
    HANDLE ev = CreateEventW(NULL, TRUE, FALSE, NULL);
    Registration r(h, 134, ev);
    ASSERT_EQ(static_cast<DWORD>(ERROR_IO_PENDING), r.error);
    DWORD t0 = GetTickCount();
    HANDLE th = reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, FireLater, &machine(), 0, NULL));
    DWORD n = 0;
    EXPECT_TRUE(GetOverlappedResult(h, &r.ov, &n, TRUE));
    EXPECT_EQ(500u, GetTickCount() - t0);
    EXPECT_EQ(9u, r.out[0]);
    WaitForSingleObject(th, INFINITE);
    CloseHandle(th);
    CloseHandle(ev);
    CloseHandle(h);
}

struct CancelCase {
    const char* name;
    int how;  // 0 CancelIoEx(h, &ov), 1 CancelIoEx(h, NULL), 2 CancelIo(h), 3 CloseHandle(h)
};

class VundgCancelTest : public VundgTest, public ::testing::WithParamInterface<CancelCase> {};

TEST_P(VundgCancelTest, CancelledRequestReportsOperationAborted) {
    HANDLE h = Open(true);
    HANDLE ev = CreateEventW(NULL, TRUE, FALSE, NULL);
    Registration a(h, 134, ev);
    HANDLE ev2 = CreateEventW(NULL, TRUE, FALSE, NULL);
    Registration b(h, 134, ev2);
    ASSERT_EQ(2u, drv().Pending(134));
    switch (GetParam().how) {
    case 0: EXPECT_TRUE(CancelIoEx(h, &a.ov)); break;
    case 1: EXPECT_TRUE(CancelIoEx(h, NULL)); break;
    case 2: EXPECT_TRUE(CancelIo(h)); break;
    case 3: EXPECT_TRUE(CloseHandle(h)); break;
    }
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(ev, 0));
    EXPECT_EQ(static_cast<ULONG_PTR>(STATUS_CANCELLED), a.ov.Internal);
    EXPECT_EQ(0xFFFFFFFFu, a.out[0]);  // no output on a cancel
    DWORD n = 123;
    EXPECT_FALSE(GetOverlappedResult(h, &a.ov, &n, TRUE));
    EXPECT_EQ(static_cast<DWORD>(ERROR_OPERATION_ABORTED), GetLastError());
    EXPECT_EQ(0u, n);
    bool only_a = GetParam().how == 0;
    EXPECT_EQ(only_a ? 1u : 0u, drv().Pending(134));
    EXPECT_EQ(only_a ? static_cast<ULONG_PTR>(STATUS_PENDING) : static_cast<ULONG_PTR>(STATUS_CANCELLED),
              b.ov.Internal);
    if (only_a) {
        EXPECT_FALSE(CancelIoEx(h, &a.ov));  // already gone
        EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_FOUND), GetLastError());
        EXPECT_EQ(1u, drv().Fire(134, 4));
        EXPECT_EQ(4u, b.out[0]);
    }
    if (GetParam().how != 3) CloseHandle(h);
    CloseHandle(ev);
    CloseHandle(ev2);
}

INSTANTIATE_TEST_SUITE_P(Ways, VundgCancelTest,
                         ::testing::Values(CancelCase{"CancelIoExOne", 0}, CancelCase{"CancelIoExAll", 1},
                                           CancelCase{"CancelIo", 2}, CancelCase{"CloseHandle", 3}),
                         [](const auto& info) { return std::string(info.param.name); });

unsigned __stdcall BlockingRegistration(void* arg) {
    auto* out = static_cast<DWORD*>(arg);
    HANDLE h =
        CreateFileW(L"\\\\.\\VUNDG", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD in[2] = {0, 134};
    DWORD ret = 0;
    out[0] = 0xFFFFFFFF;
    out[2] = DeviceIoControl(h, kWait, in, 8, out, 8, &ret, NULL);
    out[3] = ret;
    CloseHandle(h);
    return 0;
}

TEST_F(VundgTest, RegistrationOnASynchronousHandleBlocksUntilFired) {
    DWORD out[4] = {0, 0, 7, 7};
    HANDLE th = reinterpret_cast<HANDLE>(_beginthreadex(NULL, 0, BlockingRegistration, out, 0, NULL));
    machine().RunUntilIdle();
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(th, 1000));
    EXPECT_EQ(1u, drv().Pending(134));
    EXPECT_EQ(1u, drv().Fire(134, 5));
    EXPECT_EQ(static_cast<DWORD>(WAIT_OBJECT_0), WaitForSingleObject(th, INFINITE));
    EXPECT_EQ(5u, out[0]);
    EXPECT_EQ(static_cast<DWORD>(TRUE), out[2]);
    EXPECT_EQ(8u, out[3]);
    CloseHandle(th);
}

TEST_F(VundgTest, InjectedRegistrationFailure) {
    drv().set_event_error(ERROR_NOT_READY);
    HANDLE h = Open(true);
    HANDLE ev = CreateEventW(NULL, TRUE, FALSE, NULL);
    Registration r(h, 134, ev);
    EXPECT_FALSE(r.result);
    EXPECT_EQ(static_cast<DWORD>(ERROR_NOT_READY), r.error);
    EXPECT_EQ(0u, drv().Pending(134));
    CloseHandle(ev);
    CloseHandle(h);
}

}  // namespace
