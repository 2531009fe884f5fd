// winsim: the test API of GDI+ (gdiplus.h): what a process did with it and what it drew.
#pragma once

#include "machine.h"

#include "../windows.h"

#include <string>
#include <vector>

namespace winsim::gdiplus {

struct Usage {
    int startups = 0;             // successful GdiplusStartup calls
    int shutdowns = 0;            // GdiplusShutdown calls with a live token
    int bad_shutdowns = 0;        // GdiplusShutdown calls with a token that was not live
    int live_images = 0;          // images made and not deleted
    int left_at_shutdown = 0;     // images still alive when the last token was shut down
    int used_after_shutdown = 0;  // image or drawing calls while GDI+ was not started
};
Usage UsageOf(Machine& m, DWORD pid);

// One DrawImage on a window's device context.
struct Draw {
    std::wstring file;  // the image's file, as it was opened
    UINT image_cx = 0, image_cy = 0;
    int x = 0, y = 0, cx = 0, cy = 0;
};
std::vector<Draw> Draws(Machine& m, HWND hwnd);

}  // namespace winsim::gdiplus
