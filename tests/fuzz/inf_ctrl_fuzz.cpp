// The INF reader over an OEM INF of any bytes in the INF folder: [Version], the model
// sections of every manufacturer, the hardware-ID search and a filtered removal sweep.
#include <windows.h>

#include "DbgMac.h"
#include "InfCtrl.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::Sim sim;
    static bool folder = winsim::files::CreateFolders(sim.machine(), L"C:\\Windows\\INF");
    (void)folder;
    const wchar_t* kInf = L"C:\\Windows\\INF\\oem0.inf";
    sim.Put(kInf, data, size);
    CInfCtrl inf;
    inf.Open(kInf);
    inf.FindHardwareId(L"PCI\\VEN_8086");
    for (int i = 0; i < inf.GetModelSections().GetCount() && i < 4; ++i)
        inf.FindHardwareId(inf.GetModelSections().Get(i)->szSection);
    inf.FindHardwareId(inf.GetClass());
    inf.Close();
    inf.RemoveOEMInf(kInf, L"USB\\VID_1199", L"Acme", NULL);
    if (size & 1) sim.Put(kInf, data, size);
    inf.RemoveAllOEMInf(L"PCI\\VEN_8086", NULL, L"Net");
    return 0;
}
