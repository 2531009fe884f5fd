// Worker threads and window threads.
//
// CThreadCtl runs one worker thread per object; the thread body (Run) watches the stop
// event, which Stop sets before it waits for the thread without limit.
//
// CWndCtl runs a window on a thread of its own: its own window class (one window
// procedure, StaticWndProc, for every class), its window and its message loop. Create
// blocks the caller until the window exists (at most 20000 ms). Other threads talk to the
// window only by SendMessage and PostMessage on its handle. Close ends the window and waits
// for the thread; it must not be called on the window's own thread.
//
// A subclass changes behaviour by overriding WndProc, and may set the show command, class
// name and title before Create. Its destructor must call Close() first, before any of its
// own members go: the window thread keeps calling WndProc until it has ended, and once the
// subclass destructor has run, messages would reach a half-destroyed object.
//
// The virtual operations keep this order, which the programs rely on:
//   CThreadCtl: destructor, Start, Wait, Stop, Run
//   CWndCtl:    destructor, Start, Wait, Stop (the close), Run, Create, MessageLoop,
//               RegisterWndClass, CreateWnd, WndProc
#pragma once

#include <windows.h>

#define WNDCTL_NAME_CCH 256
#define WNDCTL_DEFAULT_CLASS L"WNDCTL_WINDOW_CLASS"
#define WNDCTL_DEFAULT_TITLE L"WNDCTL_WINDOW_TITLE"
#define WNDCTL_READY_TIMEOUT 20000

class CThreadCtl {
public:
    CThreadCtl();
    // Stops the thread (Stop), then closes the stop event.
    virtual ~CThreadCtl();

    // Starts the thread: 1 when one was started; 0 when a thread is already held or the
    // stop event or the thread cannot be made. The stop event is reset at every start.
    virtual int Start();
    // Waits for the thread's end: 1 when it ended in time or no thread ran. A thread that
    // does not end in time is terminated (result 0). The thread handle is closed either way.
    virtual int Wait(DWORD dwMilliseconds);
    // Sets the stop event, then waits for the thread without limit.
    virtual void Stop();
    // The thread body; its result is the thread's exit code (0 here).
    virtual DWORD Run();

protected:
    static unsigned __stdcall ThreadEntry(void* pArg);

    DWORD m_dwThreadId;   // ID given by the thread creation
    HANDLE m_hThread;     // null while no thread runs
    HANDLE m_hStopEvent;  // manual-reset; made by the first Start, kept until destruction

private:
    CThreadCtl(const CThreadCtl&);
    CThreadCtl& operator=(const CThreadCtl&);
};

class CWndCtl : public CThreadCtl {
public:
    CWndCtl();
    // Closes the window thread (Close), then the ready event, then the CThreadCtl part.
    ~CWndCtl() override;

    // The close (CWndCtl::Close): posts WM_CLOSE to the window when it is there; when the
    // thread runs but its window is not (or no longer) there, posts WM_QUIT to the thread
    // itself; then stops the thread (CThreadCtl::Stop), waiting for it without limit.
    void Stop() override;
    // The window thread's body: binds the object to the thread, runs MessageLoop, unbinds.
    DWORD Run() override;
    // Starts the window thread and waits up to 20000 ms for its window: 1 when it is ready;
    // otherwise the thread is closed and the result is 0.
    virtual int Create(HINSTANCE hInstance);
    // Registers the class, creates the window, signals readiness and pumps messages until
    // WM_QUIT; returns the quit message's wParam, or 0 when no window could be created.
    virtual int MessageLoop(HINSTANCE hInstance, int nCmdShow);
    // Registers the window class (an existing class of that name does no harm).
    virtual ATOM RegisterWndClass(HINSTANCE hInstance);
    // Creates the window; 1 on success. A visible window is shown and updated.
    virtual int CreateWnd(HINSTANCE hInstance, int nCmdShow);
    // The window's message handling: WM_DESTROY posts the quit message; every message then
    // goes to DefWindowProcW.
    virtual LRESULT WndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    // The one window procedure of every CWndCtl class: hands the message to the object
    // bound to the calling thread, else to DefWindowProcW.
    static LRESULT CALLBACK StaticWndProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    // The close under its own name (the same operation as Stop).
    void Close();
    // The window, or null while there is none.
    HWND GetHwnd() const { return m_hWnd; }
    // Settings to change before Create. Names are cut to 255 characters.
    void SetShowCommand(int nCmdShow) { m_nCmdShow = nCmdShow; }
    void SetClassName(LPCWSTR pszClassName);
    void SetWindowTitle(LPCWSTR pszTitle);

protected:
    HANDLE m_hReadyEvent;   // manual-reset; set by the window thread once its window exists
    HINSTANCE m_hInstance;  // given to Create; used for the class and the window
    HWND m_hWnd;            // null until created; cleared when the thread body starts
    int m_nCmdShow;         // 0: hidden window; otherwise shown with this command
    WCHAR m_szClassName[WNDCTL_NAME_CCH];
    WCHAR m_szWindowTitle[WNDCTL_NAME_CCH];

private:
    void PostQuitToThread();
};
