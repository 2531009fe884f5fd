// A fresh tablet with the GUI's frame made on the test thread: its control codes to the
// service are recorded instead of sent, and the test pumps the frame's messages.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include "MainFrm.h"
#include "VUNDGIF.h"
#include "sim_fixture.h"
#include "winsim/display.h"
#include "winsim/hci.h"
#include "winsim/registry.h"
#include "winsim/resources.h"
#include "winsim/vundg.h"

#include <memory>
#include <vector>

std::shared_ptr<const winsim::ResourceTable> RvqxCtrlTestResources();

class RecordingFrame : public CMainFrame {
public:
    explicit RecordingFrame(LPCWSTR pszCmdLine) : CMainFrame(pszCmdLine) {}
    std::vector<DWORD> codes;
    using CMainFrame::GetPosture;

protected:
    void DeliverControl(DWORD dwCode) override { codes.push_back(dwCode); }
};

class GuiTest : public SimTest {
protected:
    GuiTest() : SimTest("tablet", L"C:\\Program Files\\Quarven\\Veltrane\\RVQXCTRL.exe") {
        winsim::resources::Attach(process(), RvqxCtrlTestResources());
    }
    ~GuiTest() override { Close(); }

    void SetProduct(LPCWSTR name, DWORD value) {
        winsim::Registry(machine()).SetDword(L"HKLM\\SOFTWARE\\Quarven\\Veltrane", name, value);
    }
    // Makes the frame (its set-up runs) and lets its threads settle.
    RecordingFrame& Open(LPCWSTR cmdline = L"") {
        frame_ = std::make_unique<RecordingFrame>(cmdline);
        EXPECT_TRUE(frame_->LoadFrame(nullptr));
        Pump(100);
        return *frame_;
    }
    // Runs the frame's messages for ms of machine time.
    void Pump(DWORD ms) {
        DWORD end = GetTickCount() + ms;
        for (;;) {
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
            LONG left = static_cast<LONG>(end - GetTickCount());
            if (left <= 0) break;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left), QS_ALLINPUT);
        }
    }
    void Close() {
        if (frame_ && frame_->m_hWnd) DestroyWindow(frame_->m_hWnd);
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
        frame_.reset();
    }
    winsim::Display display() { return winsim::Display(machine()); }
    winsim::HciDriver hci() { return winsim::HciDriver(machine()); }
    winsim::VundgDriver vundg() { return winsim::VundgDriver(machine()); }
    std::unique_ptr<RecordingFrame> frame_;
};
