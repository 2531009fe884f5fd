// Device presence for the GUI: the eject and port-in-use lists of the product key, the
// GUI's opening of the method and event driver, and the driver-event thread.
#include "MainFrm.h"

#include "ComCtrl.h"
#include "GuiVUNDGIF.h"

BOOL IsEjectTarget(LPCWSTR pszModuleId) {
    if (!pszModuleId || !pszModuleId[0]) return FALSE;
    int cchId = lstrlenW(pszModuleId);
    CRegIdList list(PRODUCT_KEY, LIST_EJECT, KEY_QUERY_VALUE);
    WCHAR szEntry[REGLIST_ENTRY_CCH];
    while (list.Next(szEntry, REGLIST_ENTRY_CCH)) {
        // The entry begins with the module ID; an entry shorter than the ID never does.
        if (lstrlenW(szEntry) < cchId) continue;
        szEntry[cchId] = L'\0';
        if (lstrcmpiW(szEntry, pszModuleId) == 0) return TRUE;
    }
    return FALSE;
}

BOOL IsCheckedPortInUse() {
    CRegIdList list(PRODUCT_KEY, LIST_CHKUSING, KEY_QUERY_VALUE);
    WCHAR szEntry[REGLIST_ENTRY_CCH];
    while (list.Next(szEntry, REGLIST_ENTRY_CCH)) {
        CComCtrl com;
        if (com.IsUsingCom(szEntry)) return TRUE;
    }
    return FALSE;
}

BOOL CGuiVUNDGIF::Open(BOOL bOverlapped) {
    DWORD dwFlags = FILE_ATTRIBUTE_NORMAL | (bOverlapped ? FILE_FLAG_OVERLAPPED : 0);
    HANDLE h = CreateFileW(VUNDG_DEVICE_NAME, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, dwFlags, NULL);
    if (h == INVALID_HANDLE_VALUE || h == NULL) {
        m_hDevice = NULL;
        return FALSE;
    }
    m_hDevice = h;
    return TRUE;
}

// Posts WM_APP_DRIVEREVENT for each posture event of the driver, counting from 0 for each
// opening of the device; retries a missing device every 50 ms. The stop event ends every
// wait at once, the pending driver request included.
DWORD WINAPI CMainFrame::DriverEventThread(LPVOID pParam) {
    CMainFrame* p = static_cast<CMainFrame*>(pParam);
    HANDLE hStop = p->m_hStopPanelState;
    while (WaitForSingleObject(hStop, 0) == WAIT_TIMEOUT) {
        CGuiVUNDGIF drv;
        drv.SetAbortEvent(hStop);
        if (drv.Open(TRUE)) {
            WPARAM nCount = 0;
            while (WaitForSingleObject(hStop, 0) == WAIT_TIMEOUT) {
                DWORD dwValue = 0;
                if (drv.WaitEvent(VUNDG_EVENT_POSTURE, &dwValue, INFINITE)) {
                    PostMessageW(p->m_hWnd, WM_APP_DRIVEREVENT, nCount, 0);
                    ++nCount;
                }
            }
            drv.Close();
        }
        WaitForSingleObject(hStop, 50);
    }
    return 0;
}
