// winsim: the display, its adapters' settings keys and its rotation (winsim/display.h).
#include <windows.h>

#include <ntddvdeo.h>

#include "winsim/api_display.h"

#include "devices_internal.h"
#include "winsim/device.h"
#include "winsim/devices.h"
#include "winsim/display.h"
#include "winsim/registry.h"
#include "winsim/vundg.h"

#include <stdexcept>

namespace winsim {

namespace {
constexpr const char* kNs = "display";

struct Runtime {
    explicit Runtime(Machine&) {}
    std::vector<Display::ChangeListener> listeners;
};
Runtime& Rt(Machine& m) { return m.Ext<Runtime>("display.runtime"); }

DWORD Get(Machine& m, const char* key, int64_t def) { return static_cast<DWORD>(m.store().GetInt(kNs, key, def)); }
}  // namespace

DWORD Display::native_width() { return Get(m_, "width", 1024); }
DWORD Display::native_height() { return Get(m_, "height", 768); }
DWORD Display::bits_per_pel() { return Get(m_, "bpp", 32); }
DWORD Display::frequency() { return Get(m_, "frequency", 60); }
DWORD Display::orientation() { return Get(m_, "orientation", 0); }
DWORD Display::width() { return orientation() & 1 ? native_height() : native_width(); }
DWORD Display::height() { return orientation() & 1 ? native_width() : native_height(); }

void Display::SetNativeMode(DWORD width, DWORD height, DWORD bpp, DWORD frequency) {
    Store& s = m_.store();
    s.SetInt(kNs, "width", width);
    s.SetInt(kNs, "height", height);
    s.SetInt(kNs, "bpp", bpp);
    s.SetInt(kNs, "frequency", frequency);
}

void Display::SetOrientation(DWORD o) {
    if (o > 3) throw std::invalid_argument("winsim display: orientation must be 0-3");
    m_.store().SetInt(kNs, "orientation", o);
}

bool Display::orientation_field() { return Get(m_, "orientation_field", 1) != 0; }
void Display::set_orientation_field(bool on) { m_.store().SetInt(kNs, "orientation_field", on); }
DWORD Display::enum_error() { return Get(m_, "enum_error", 0); }
void Display::set_enum_error(DWORD err) { m_.store().SetInt(kNs, "enum_error", err); }
bool Display::tablet_pc() { return Get(m_, "tabletpc", 0) != 0; }
void Display::set_tablet_pc(bool on) { m_.store().SetInt(kNs, "tabletpc", on ? 1 : 0); }

DWORD Display::AddAdapter(const DisplayAdapterSpec& desc) {
    DeviceSpec d;
    d.instance_id = desc.instance_id;
    d.parent = desc.parent;
    d.class_name = L"Display";
    d.class_guid = devclass::kDisplay;
    d.hardware_ids = desc.hardware_ids;
    d.description = desc.description;
    d.friendly_name = desc.friendly_name;
    d.manufacturer = L"Tessel";
    d.service = desc.service;
    if (!desc.video_id.empty()) d.parameters.emplace_back(L"VideoID", desc.video_id);
    DWORD dn = DeviceTree(m_).Add(d);
    if (desc.settings) {
        std::wstring key =
            std::wstring(kHwProfile) + (desc.video_route ? L"Control\\VIDEO\\" + desc.video_id + L"\\0000"
                                                         : L"Services\\" + desc.service + L"\\Device0");
        Registry r(m_);
        r.SetDword(key, L"DefaultSettings.Orientation", desc.orientation);
        r.SetDword(key, L"DefaultSettings.BitsPerPel", desc.bits_per_pel);
        r.SetDword(key, L"DefaultSettings.XResolution", desc.x_resolution);
        r.SetDword(key, L"DefaultSettings.YResolution", desc.y_resolution);
    }
    return dn;
}

std::vector<std::wstring> Display::SettingsKeys() {
    DeviceTree tree(m_);
    Registry r(m_);
    std::vector<std::wstring> keys;
    for (auto& n : tree.List()) {
        if (!n.present || !IEquals(n.class_guid, devclass::kDisplay) || !StartsWithI(n.instance_id, L"PCI\\")) continue;
        auto video = r.GetString(tree.ParametersKey(n.devinst), L"VideoID");
        if (video) {
            std::wstring k = std::wstring(kHwProfile) + L"Control\\VIDEO\\" + *video + L"\\0000";
            if (r.KeyExists(k)) {
                keys.push_back(k);
                continue;
            }
        }
        auto svc = r.GetString(tree.EnumKey(n.devinst), L"Service");
        if (svc) {
            std::wstring k = std::wstring(kHwProfile) + L"Services\\" + *svc + L"\\Device0";
            if (r.KeyExists(k)) keys.push_back(k);
        }
    }
    return keys;
}

void Display::Rotate(DWORD o) {
    SetOrientation(o);
    Registry r(m_);
    for (auto& k : SettingsKeys()) {
        r.SetDword(k, L"DefaultSettings.Orientation", o);
        r.SetDword(k, L"DefaultSettings.XResolution", width());
        r.SetDword(k, L"DefaultSettings.YResolution", height());
    }
    VundgDriver(m_).Fire(kVundgPostureEvent, o);
    DWORD bpp = bits_per_pel(), cx = width(), cy = height();
    auto listeners = Rt(m_).listeners;
    for (auto& l : listeners) l(bpp, cx, cy);
}

void Display::AddChangeListener(ChangeListener l) { Rt(m_).listeners.push_back(std::move(l)); }

bool Display::lcd_present() { return Get(m_, "lcd", 1) != 0; }
void Display::set_lcd_present(bool on) { m_.store().SetInt(kNs, "lcd", on ? 1 : 0); }

std::vector<BYTE> Display::brightness_levels() {
    std::string t = m_.store().GetText(kNs, "levels").value_or("");
    return std::vector<BYTE>(t.begin(), t.end());
}

void Display::set_brightness_levels(const std::vector<BYTE>& levels) {
    m_.store().SetText(kNs, "levels", std::string(levels.begin(), levels.end()));
}

BYTE Display::ac_brightness() { return static_cast<BYTE>(Get(m_, "ac", 100)); }
BYTE Display::dc_brightness() { return static_cast<BYTE>(Get(m_, "dc", 100)); }

void Display::set_brightness(BYTE ac, BYTE dc) {
    m_.store().SetInt(kNs, "ac", ac);
    m_.store().SetInt(kNs, "dc", dc);
}

void Display::set_brightness_error(DWORD code, DWORD err) {
    m_.store().SetInt(kNs, "lcd_error_" + std::to_string(code), err);
}

namespace {

class LcdModel : public DeviceModel {
public:
    explicit LcdModel(Machine& m) : m_(m) {}
    bool Present() override { return Display(m_).lcd_present(); }
    DWORD Ioctl(DeviceHandle&, IoctlRequest& r) override {
        Display d(m_);
        DWORD err = Get(m_, ("lcd_error_" + std::to_string(r.code)).c_str(), 0);
        if (err) return err;
        if (r.code == IOCTL_VIDEO_QUERY_SUPPORTED_BRIGHTNESS) {
            r.out = d.brightness_levels();
        } else if (r.code == IOCTL_VIDEO_QUERY_DISPLAY_BRIGHTNESS) {
            r.out = {DISPLAYPOLICY_BOTH, d.ac_brightness(), d.dc_brightness()};
        } else {
            return ERROR_INVALID_FUNCTION;
        }
        return r.out.size() > r.out_size ? ERROR_INSUFFICIENT_BUFFER : 0;
    }

private:
    Machine& m_;
};

}  // namespace

namespace display {

void Init(Machine& m) { m.RegisterDevice(L"LCD", std::make_shared<LcdModel>(m)); }

void Profile(Machine& m, const std::string& profile) {
    Display d(m);
    if (profile == "tablet") {
        d.SetNativeMode(1366, 768, 32, 60);
        d.set_tablet_pc(true);
    } else {
        d.SetNativeMode(1024, 768, 32, 60);
        d.set_tablet_pc(false);
    }
    d.SetOrientation(DMDO_DEFAULT);
    d.set_lcd_present(true);
    d.set_brightness_levels({0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100});
    d.set_brightness(60, 60);
    for (DWORD code : {IOCTL_VIDEO_QUERY_SUPPORTED_BRIGHTNESS, IOCTL_VIDEO_QUERY_DISPLAY_BRIGHTNESS})
        d.set_brightness_error(code, 0);
}

}  // namespace display
}  // namespace winsim
