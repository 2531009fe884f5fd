// winsim: GDI+: start-up tokens per process, images decoded from PNG files with libpng, and
// DrawImage recorded per window instead of drawn.
#include <windows.h>

#include <gdiplus.h>
#include <png.h>

#include "user_internal.h"
#include "winsim/files.h"
#include "winsim/gdiplus.h"
#include "winsim/kernel.h"

#include <map>
#include <set>
#include <string>

using namespace winsim;

namespace {

struct ImageData {
    DWORD pid = 0;
    std::wstring file;
    UINT cx = 0, cy = 0;
};

struct ProcessUsage {
    gdiplus::Usage usage;
    std::set<ULONG_PTR> tokens;
};

struct GdiplusState {
    explicit GdiplusState(Machine&) {}
    std::map<DWORD, ProcessUsage> processes;
    std::map<ULONG_PTR, ImageData> images;
    std::map<HWND, std::vector<gdiplus::Draw>> draws;
    ULONG_PTR next_token = 0x1000;
    ULONG_PTR next_image = 0x2000;
};

GdiplusState& State() { return CurrentMachine().Ext<GdiplusState>("gdiplus"); }
ProcessUsage& Mine() { return State().processes[CurrentProcess().pid]; }

// Started in the calling process: a call made otherwise is counted as a fault of the caller.
bool Started() {
    ProcessUsage& u = Mine();
    if (!u.tokens.empty()) return true;
    ++u.usage.used_after_shutdown;
    return false;
}

// The size of a PNG image, decoded whole so that a damaged file fails.
bool DecodePng(const std::string& bytes, UINT* cx, UINT* cy) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
    image.format = PNG_FORMAT_RGBA;
    std::string pixels(PNG_IMAGE_SIZE(image), '\0');
    if (!png_image_finish_read(&image, nullptr, &pixels[0], 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    *cx = image.width;
    *cy = image.height;
    return true;
}

}  // namespace

namespace winsim::gdiplus {

Usage UsageOf(Machine& m, DWORD pid) {
    auto& s = m.Ext<GdiplusState>("gdiplus");
    auto it = s.processes.find(pid);
    return it == s.processes.end() ? Usage{} : it->second.usage;
}

std::vector<Draw> Draws(Machine& m, HWND hwnd) {
    auto& s = m.Ext<GdiplusState>("gdiplus");
    auto it = s.draws.find(hwnd);
    return it == s.draws.end() ? std::vector<Draw>{} : it->second;
}

}  // namespace winsim::gdiplus

namespace Gdiplus {

Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output) {
    if (!token || !input) return InvalidParameter;
    if (input->GdiplusVersion != 1) return UnsupportedGdiplusVersion;
    if (input->SuppressBackgroundThread && !output) return InvalidParameter;
    if (output) {
        output->NotificationHook = nullptr;
        output->NotificationUnhook = nullptr;
    }
    GdiplusState& s = State();
    ProcessUsage& u = Mine();
    *token = s.next_token++;
    u.tokens.insert(*token);
    ++u.usage.startups;
    return Ok;
}

VOID WINAPI GdiplusShutdown(ULONG_PTR token) {
    ProcessUsage& u = Mine();
    if (!u.tokens.erase(token)) {
        ++u.usage.bad_shutdowns;
        return;
    }
    ++u.usage.shutdowns;
    if (u.tokens.empty()) u.usage.left_at_shutdown += u.usage.live_images;
}

Image::Image(const WCHAR* filename, BOOL) : nativeImage(0), lastResult(Ok) {
    if (!Started()) {
        lastResult = GdiplusNotInitialized;
        return;
    }
    if (!filename) {
        lastResult = InvalidParameter;
        return;
    }
    std::wstring path = files::FullPath(filename);
    auto bytes = files::ReadBytes(CurrentMachine(), path);
    if (!bytes) {
        lastResult = FileNotFound;
        return;
    }
    ImageData d;
    if (!DecodePng(*bytes, &d.cx, &d.cy)) {
        lastResult = UnknownImageFormat;
        return;
    }
    d.pid = CurrentProcess().pid;
    d.file = filename;
    GdiplusState& s = State();
    nativeImage = s.next_image++;
    s.images[nativeImage] = d;
    ++Mine().usage.live_images;
}

Image::~Image() {
    if (!nativeImage) return;
    Started();  // deleting after the shut-down is the caller's fault, counted
    GdiplusState& s = State();
    auto it = s.images.find(nativeImage);
    if (it == s.images.end()) return;
    --s.processes[it->second.pid].usage.live_images;
    s.images.erase(it);
}

UINT Image::GetWidth() {
    auto it = State().images.find(nativeImage);
    lastResult = it == State().images.end() ? InvalidParameter : Ok;
    return lastResult == Ok ? it->second.cx : 0;
}

UINT Image::GetHeight() {
    auto it = State().images.find(nativeImage);
    lastResult = it == State().images.end() ? InvalidParameter : Ok;
    return lastResult == Ok ? it->second.cy : 0;
}

Status Image::GetLastStatus() {
    Status r = lastResult;
    lastResult = Ok;
    return r;
}

Graphics::Graphics(HDC dc) : hdc(dc), lastResult(Ok) {
    if (!Started())
        lastResult = GdiplusNotInitialized;
    else if (!userimpl::WindowOfDc(dc))
        lastResult = InvalidParameter;
}

Graphics::~Graphics() {}

Status Graphics::DrawImage(Image* image, INT x, INT y, INT width, INT height) {
    if (!Started()) return lastResult = GdiplusNotInitialized;
    GdiplusState& s = State();
    HWND hwnd = userimpl::WindowOfDc(hdc);
    auto it = image ? s.images.find(image->nativeImage) : s.images.end();
    if (!hwnd || it == s.images.end()) return lastResult = InvalidParameter;
    gdiplus::Draw d;
    d.file = it->second.file;
    d.image_cx = it->second.cx;
    d.image_cy = it->second.cy;
    d.x = x, d.y = y, d.cx = width, d.cy = height;
    s.draws[hwnd].push_back(d);
    return lastResult = Ok;
}

Status Graphics::GetLastStatus() {
    Status r = lastResult;
    lastResult = Ok;
    return r;
}

}  // namespace Gdiplus
