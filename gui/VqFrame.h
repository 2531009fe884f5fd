// The GUI's small window framework over the Win32 window API: an application object that
// the program's entry creates, windows mapped to their objects with a message table per
// class, a hidden frame window, dialogs from templates (modeless and modal), and worker
// threads started suspended.
//
// Nothing here is process-wide: every object lives in the application that the entry made,
// so that two instances of the program can run as two processes of one host.
#pragma once

#include <windows.h>

class CVqWnd;

typedef LRESULT (CVqWnd::*VqMsgHandler)(WPARAM wParam, LPARAM lParam);

struct VqMsgEntry {
    UINT uMsg;  // 0 ends the table
    VqMsgHandler pfn;
};

// A class's message table, searched in its order; messages it does not list go to the
// window's default handling.
#define VQ_DECLARE_MESSAGE_MAP() const VqMsgEntry* GetMessageMap() const override;
#define VQ_BEGIN_MESSAGE_MAP(cls)                  \
    const VqMsgEntry* cls::GetMessageMap() const { \
        typedef cls ThisClass;                     \
        static const VqMsgEntry s_map[] = {
#define VQ_ON_MESSAGE(msg, fn) {(UINT)(msg), static_cast<VqMsgHandler>(&ThisClass::fn)},
#define VQ_END_MESSAGE_MAP() \
    { 0, NULL }              \
    }                        \
    ;                        \
    return s_map;            \
    }

// A window and its object: the object is bound at WM_NCCREATE (the creation parameter) and
// unbound at WM_NCDESTROY.
class CVqWnd {
public:
    CVqWnd();
    virtual ~CVqWnd();

    HWND GetSafeHwnd() const { return m_hWnd; }
    BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
    BOOL IsWindowVisible() const { return m_hWnd && ::IsWindowVisible(m_hWnd); }
    BOOL DestroyWindow();
    // The object of a window made by this framework, or NULL.
    static CVqWnd* FromHandle(HWND hWnd);

    HWND m_hWnd;

protected:
    virtual const VqMsgEntry* GetMessageMap() const;
    // The handling of a message the table does not take (DefWindowProcW).
    virtual LRESULT DefaultProc(UINT uMsg, WPARAM wParam, LPARAM lParam);
    // The message being handled, for handlers that call the default handling.
    LRESULT Default();
    // Called after WM_NCDESTROY, the window already unbound.
    virtual void PostNcDestroy() {}
    LRESULT Dispatch(UINT uMsg, WPARAM wParam, LPARAM lParam);

    static LRESULT CALLBACK StaticWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    UINT m_uCurMsg;
    WPARAM m_wCurParam;
    LPARAM m_lCurParam;

private:
    CVqWnd(const CVqWnd&);
    CVqWnd& operator=(const CVqWnd&);
};

// A top-level or child window of a class registered for it.
class CVqFrameWnd : public CVqWnd {
public:
    // Registers the class (once) and creates the window; FALSE when it could not.
    BOOL CreateEx(DWORD dwExStyle, LPCWSTR pszClass, LPCWSTR pszTitle, DWORD dwStyle, int x, int y, int cx, int cy,
                  HWND hParent, HMENU hMenu, HINSTANCE hInstance, UINT uClassStyle = 0, HICON hIcon = NULL,
                  HBRUSH hBrush = NULL);
};

// A dialog from a template of the program's resources.
class CVqDialog : public CVqWnd {
public:
    CVqDialog(UINT nTemplateId, CVqWnd* pParent);
    // A modeless dialog; TRUE when it was created.
    BOOL Create(HINSTANCE hInstance = NULL);
    // A modal dialog: its result (IDOK, IDCANCEL), -1 when it could not be made.
    INT_PTR DoModal(HINSTANCE hInstance = NULL);

protected:
    virtual BOOL OnInitDialog() { return TRUE; }
    // OK and Cancel end a modal dialog with IDOK or IDCANCEL and destroy a modeless one.
    virtual void OnOK() { EndDialog(IDOK); }
    virtual void OnCancel() { EndDialog(IDCANCEL); }
    // A control's command other than OK and Cancel; TRUE when handled.
    virtual BOOL OnCommand(WORD wId, WORD wCode) {
        (void)wId;
        (void)wCode;
        return FALSE;
    }
    void EndDialog(INT_PTR nResult);
    LRESULT DefaultProc(UINT uMsg, WPARAM wParam, LPARAM lParam) override;

    static INT_PTR CALLBACK StaticDlgProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    UINT m_nTemplateId;
    CVqWnd* m_pParent;
    BOOL m_bModal;
};

// A worker thread: created suspended, then resumed; its handle stays with the object.
class CVqThread {
public:
    CVqThread();
    ~CVqThread();
    // TRUE when the thread was created and resumed.
    BOOL Begin(LPTHREAD_START_ROUTINE pfn, void* pParam);
    // Waits up to dwMs for the thread's end; a thread still running then is terminated, as
    // a last resort. The handle is closed either way. TRUE when it ended on its own.
    BOOL End(DWORD dwMs);
    BOOL IsRunning() const { return m_hThread != NULL; }
    HANDLE GetHandle() const { return m_hThread; }

private:
    CVqThread(const CVqThread&);
    CVqThread& operator=(const CVqThread&);
    HANDLE m_hThread;
};

// The application: made by the program's entry, which runs it.
class CVqApp {
public:
    CVqApp();
    virtual ~CVqApp();

    // The entry's part: InitInstance, the message loop while it succeeded, ExitInstance.
    int Run(HINSTANCE hInstance, LPCWSTR pszCmdLine, int nCmdShow);

    HINSTANCE m_hInstance;
    LPCWSTR m_pszCmdLine;  // the text after the program name
    int m_nCmdShow;
    CVqWnd* m_pMainWnd;

protected:
    virtual BOOL InitInstance() = 0;
    virtual int ExitInstance() { return 0; }
    // Messages of modeless dialogs go through their dialog handling first.
    virtual int MessageLoop();
};
