// winsim: GDI+ as the system uses it: start-up and shut-down, images from files, their
// size, and drawing an image on a window's device context.
//
// winsim decodes PNG files only, and for real: a file that is missing gives FileNotFound,
// one that is no PNG or is damaged UnknownImageFormat. Drawing draws nothing; each
// DrawImage is recorded for the window of the device context (winsim/gdiplus.h), and the
// model counts start-ups, shut-downs and images left alive at a shut-down.
#pragma once
#include <windows.h>

namespace Gdiplus {

enum Status {
    Ok = 0,
    GenericError = 1,
    InvalidParameter = 2,
    OutOfMemory = 3,
    ObjectBusy = 4,
    InsufficientBuffer = 5,
    NotImplemented = 6,
    Win32Error = 7,
    WrongState = 8,
    Aborted = 9,
    FileNotFound = 10,
    ValueOverflow = 11,
    AccessDenied = 12,
    UnknownImageFormat = 13,
    FontFamilyNotFound = 14,
    FontStyleNotFound = 15,
    NotTrueTypeFont = 16,
    UnsupportedGdiplusVersion = 17,
    GdiplusNotInitialized = 18,
    PropertyNotFound = 19,
    PropertyNotSupported = 20,
};

enum DebugEventLevel { DebugEventLevelFatal, DebugEventLevelWarning };

typedef VOID(WINAPI* DebugEventProc)(DebugEventLevel level, CHAR* message);
typedef Status(WINAPI* NotificationHookProc)(ULONG_PTR* token);
typedef VOID(WINAPI* NotificationUnhookProc)(ULONG_PTR token);

struct GdiplusStartupInput {
    UINT32 GdiplusVersion;
    DebugEventProc DebugEventCallback;
    BOOL SuppressBackgroundThread;
    BOOL SuppressExternalCodecs;

    GdiplusStartupInput(DebugEventProc debugEventCallback = NULL, BOOL suppressBackgroundThread = FALSE,
                        BOOL suppressExternalCodecs = FALSE)
        : GdiplusVersion(1),
          DebugEventCallback(debugEventCallback),
          SuppressBackgroundThread(suppressBackgroundThread),
          SuppressExternalCodecs(suppressExternalCodecs) {}
};

struct GdiplusStartupOutput {
    NotificationHookProc NotificationHook;
    NotificationUnhookProc NotificationUnhook;
};

// Version 1 only; output is needed when the background thread is suppressed.
Status WINAPI GdiplusStartup(ULONG_PTR* token, const GdiplusStartupInput* input, GdiplusStartupOutput* output);
VOID WINAPI GdiplusShutdown(ULONG_PTR token);

class Image {
public:
    explicit Image(const WCHAR* filename, BOOL useEmbeddedColorManagement = FALSE);
    virtual ~Image();
    // 0 when the image failed.
    UINT GetWidth();
    UINT GetHeight();
    // The status of the last call (the constructor's first).
    Status GetLastStatus();

private:
    Image(const Image&);
    Image& operator=(const Image&);
    friend class Graphics;
    ULONG_PTR nativeImage;
    Status lastResult;
};

class Graphics {
public:
    explicit Graphics(HDC hdc);
    ~Graphics();
    Status DrawImage(Image* image, INT x, INT y, INT width, INT height);
    Status GetLastStatus();

private:
    Graphics(const Graphics&);
    Graphics& operator=(const Graphics&);
    HDC hdc;
    Status lastResult;
};

}  // namespace Gdiplus
