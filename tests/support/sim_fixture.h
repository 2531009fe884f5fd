// A fresh in-memory machine per test, with the test thread attached as a simulated thread
// of a program process.
#pragma once

#include <gtest/gtest.h>

#include "winsim/machine.h"

#include <memory>
#include <string>

class SimTest : public ::testing::Test {
protected:
    explicit SimTest(const std::string& profile = "bare",
                     const std::wstring& image = L"C:\\Program Files\\Quarven\\Setup\\Setup.exe")
        : machine_(winsim::Machine::CreateInMemory(profile)), scope_(*machine_, Options(image)) {}

    static winsim::ProcessOptions Options(const std::wstring& image) {
        winsim::ProcessOptions o;
        o.image = image;
        return o;
    }

    winsim::Machine& machine() { return *machine_; }
    winsim::Process& process() { return scope_.process(); }

    // The debugger output of this process, one string per OutputDebugString call.
    std::vector<std::wstring> DebugLines() {
        std::vector<std::wstring> v;
        for (auto& l : process().debug_output) v.push_back(l.text);
        return v;
    }

private:
    std::unique_ptr<winsim::Machine> machine_;
    winsim::ProcessScope scope_;
};
