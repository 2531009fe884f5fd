// The SMBIOS table walk over any table bytes: the firmware call's path and the WMI path
// (the first input byte chooses), every width of field at offsets around the structures.
#include "SMBIOSDataInfo.h"
#include "fuzz_support.h"
#include "winsim/osinfo.h"
#include "winsim/smbios.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::Sim sim;
    if (size < 2) return 0;
    // Windows before 5.2 reads the table through WMI.
    winsim::os::Version v;
    v.major = (data[0] & 1) ? 5 : 6;
    v.minor = 1;
    winsim::os::SetVersion(sim.machine(), v);
    winsim::smbios::Table t;
    t.data.assign(data + 2, data + size);
    winsim::smbios::SetTable(sim.machine(), t);
    CSMBIOSDataInfo info;
    if (info.Load() == 1) {
        BYTE type = data[1];
        ULONGLONG value = 0;
        for (int width = SMBIOS_WIDTH_BYTE; width <= SMBIOS_WIDTH_QWORD; ++width)
            for (int offset = 0; offset < 40; offset += 3)
                info.GetStructField(type, static_cast<BYTE>(offset), width, &value);
    }
    return 0;
}
