// The notices: texts by language, the user's choices, the limitation notice, the frame's
// WM_APP_NOTIFY and splash.exe.
#include "Notices.h"

#include <gdiplus.h>
#include <strsafe.h>

#include "MainFrm.h"
#include "resource.h"

#include <string.h>

namespace {

struct LanguageRow {
    LPCWSTR pszName;
    WORD aIds[23];  // ends at the first 0
};

const LanguageRow kLanguages[] = {
    {L"SPANISH", {1027,  1034,  1069,  1110,  2058,  3082,  4106,  5130,  6154,  7178,  8202, 9226,
                  10250, 11274, 12298, 13322, 14346, 15370, 16394, 17418, 18442, 19466, 20490}},
    {L"CHINESE_TRADITIONAL", {1028, 3076, 4100, 5124}},
    {L"CZECH", {1029}},
    {L"DANISH", {1030}},
    {L"GERMAN", {1031, 2055, 3079, 4103, 5127}},
    {L"GREEK", {1032}},
    {L"FINNISH", {1035}},
    {L"FRENCH", {1036, 2060, 3084, 4108, 5132, 6156}},
    {L"HUNGARIAN", {1038}},
    {L"ITALIAN", {1040, 2064}},
    {L"JAPANESE", {1041}},
    {L"KOREAN", {1042, 2066}},
    {L"DUTCH", {1043, 2067}},
    {L"NORWEGIAN", {1044, 2068}},
    {L"POLISH", {1045}},
    {L"PORTUGUESE", {1046, 2070}},
    {L"RUSSIAN", {1049}},
    {L"SLOVAK", {1051}},
    {L"SWEDISH", {1053, 2077}},
    {L"TURKISH", {1055}},
    {L"CHINESE", {2052}},
};

struct TextRow {
    BOOL bNotice;  // LOGONDIALOG, else DIALOG
    LPCWSTR pszKey;
    BOOL bSuffix;  // the key takes the posture's suffix
    UINT nString;
};

const TextRow kTexts[TEXT_COUNT] = {
    {FALSE, L"DIALOG_TITLE", FALSE, IDS_RFSTOP_TITLE}, {FALSE, L"DIALOG_MSG0", TRUE, IDS_RFSTOP_MESSAGE},
    {FALSE, L"DIALOG_CHECK", FALSE, IDS_RFSTOP_CHECK}, {FALSE, L"DIALOG_OK", FALSE, IDS_RFSTOP_BUTTON},
    {TRUE, L"DIALOG_TITLE", FALSE, IDS_NOTICE_TITLE},  {TRUE, L"DIALOG_MSG0", FALSE, IDS_NOTICE_LINE1},
    {TRUE, L"DIALOG_MSG1", TRUE, IDS_NOTICE_LINE2},    {TRUE, L"DIALOG_MSG2", FALSE, IDS_NOTICE_CAPTION},
    {TRUE, L"DIALOG_CHECK", FALSE, IDS_NOTICE_CHECK},  {TRUE, L"DIALOG_OK", FALSE, IDS_RFSTOP_BUTTON},
    {TRUE, L"PLAND", FALSE, IDS_PRIMARY_LANDSCAPE},    {TRUE, L"PPORT", FALSE, IDS_PRIMARY_PORTRAIT},
    {TRUE, L"SLAND", FALSE, IDS_SECONDARY_LANDSCAPE},  {TRUE, L"SPORT", FALSE, IDS_SECONDARY_PORTRAIT},
};

// The position named by the fall-back sentences of an RF-stop posture.
UINT PositionString(int nRfStopPosture) {
    switch (nRfStopPosture) {
    case 1: return IDS_POSITION_PLAND;
    case 3: return IDS_POSITION_SLAND;
    case 4: return IDS_POSITION_PPORT;
    default: return IDS_POSITION_SPORT;
    }
}

// The string-table text of a row; the sentences that name a position name the posture's.
void LoadFallback(HINSTANCE hInstance, const TextRow& row, int nRfStopPosture, LPWSTR psz) {
    psz[0] = L'\0';
    UINT nFormat = row.nString == IDS_RFSTOP_MESSAGE ? IDS_RFSTOP_MESSAGE_FMT
                   : row.nString == IDS_NOTICE_LINE2 ? IDS_NOTICE_LINE2_FMT
                                                     : 0;
    WCHAR szFormat[TEXT_CCH], szPosition[64];
    if (nFormat && LoadStringW(hInstance, nFormat, szFormat, TEXT_CCH) > 0 &&
        LoadStringW(hInstance, PositionString(nRfStopPosture), szPosition, 64) > 0 &&
        SUCCEEDED(StringCchPrintfW(psz, TEXT_CCH, szFormat, szPosition)))
        return;
    if (LoadStringW(hInstance, row.nString, psz, TEXT_CCH) <= 0) psz[0] = L'\0';
}

struct PictureRow {
    LPCWSTR pszFile;
    LPCWSTR pszStopFile;  // when the RF stops in this position
    int nStopPosture;
    UINT nBitmap;
    int nControl;
};

const PictureRow kPictures[PICTURE_COUNT] = {
    {L"PPORT.png", L"PPORTX.png", 4, IDB_PPORT, IDC_PICTURE_PPORT},
    {L"SPORT.png", L"SPORTX.png", 2, IDB_SPORT, IDC_PICTURE_SPORT},
    {L"PLAND.png", L"PLAND.png", 0, IDB_PLAND, IDC_PICTURE_PLAND},
    {L"SLAND.png", L"SLANDX.png", 3, IDB_SLAND, IDC_PICTURE_SLAND},
};

}  // namespace

LPCWSTR GetPictureFile(int nSlot, int nRfStopPosture) {
    if (nSlot < 0 || nSlot >= PICTURE_COUNT) return L"";
    const PictureRow& row = kPictures[nSlot];
    return row.nStopPosture != 0 && row.nStopPosture == nRfStopPosture ? row.pszStopFile : row.pszFile;
}

UINT GetPictureBitmap(int nSlot) { return nSlot >= 0 && nSlot < PICTURE_COUNT ? kPictures[nSlot].nBitmap : 0; }

int GetPictureControl(int nSlot) { return nSlot >= 0 && nSlot < PICTURE_COUNT ? kPictures[nSlot].nControl : 0; }

LPCWSTR GetLanguageName(LANGID wLangId) {
    for (const auto& row : kLanguages)
        for (WORD id : row.aIds) {
            if (id == 0) break;
            if (id == wLangId) return row.pszName;
        }
    return L"ENGLISH";
}

LPCWSTR GetPostureSuffix(int nRfStopPosture) {
    switch (nRfStopPosture) {
    case 3: return L"_SL";
    case 4: return L"_PP";
    default: return L"_SP";
    }
}

BOOL ReadUserFlag(LPCWSTR pszName) {
    DWORD dw = 0;
    return ReadUserDword(pszName, &dw) && dw != 0;
}

BOOL WriteUserFlag(LPCWSTR pszName, BOOL bValue) {
    HKEY hKey = NULL;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, USER_KEY, 0, NULL, 0, KEY_WRITE, NULL, &hKey, NULL) != ERROR_SUCCESS)
        return FALSE;
    DWORD dw = bValue ? 1 : 0;
    LONG r = RegSetValueExW(hKey, pszName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dw), sizeof(dw));
    RegCloseKey(hKey);
    return r == ERROR_SUCCESS;
}

// ---------------------------------------------------------------------------------------
// The frame's texts

void CMainFrame::LoadTexts() {
    WCHAR szIni[MAX_PATH];
    DWORD n = GetModuleFileNameW(m_hInstance, szIni, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) szIni[0] = L'\0';
    WCHAR* pDot = wcsrchr(szIni, L'.');
    WCHAR* pSlash = wcsrchr(szIni, L'\\');
    if (pDot && (!pSlash || pDot > pSlash)) *pDot = L'\0';
    if (FAILED(StringCchCatW(szIni, MAX_PATH, L".ini"))) szIni[0] = L'\0';

    m_wLangId = GetUserDefaultUILanguage();
    DWORD dwLang = 0;
    if (m_dwDlgDebug == 1 && ReadProductDword(L"LANGID", &dwLang)) m_wLangId = LOWORD(dwLang);
    WCHAR szDialog[64], szNotice[64];
    StringCchPrintfW(szDialog, 64, L"DIALOG_%s", GetLanguageName(m_wLangId));
    StringCchPrintfW(szNotice, 64, L"LOGONDIALOG_%s", GetLanguageName(m_wLangId));

    int nPosture = m_ModuleInfo.GetRfStopPosture();
    for (int i = 0; i < TEXT_COUNT; ++i) {
        const TextRow& row = kTexts[i];
        WCHAR szKey[32];
        StringCchCopyW(szKey, 32, row.pszKey);
        if (row.bSuffix) StringCchCatW(szKey, 32, GetPostureSuffix(nPosture));
        WCHAR szFallback[TEXT_CCH], szBase[TEXT_CCH];
        LoadFallback(m_hInstance, row, nPosture, szFallback);
        GetPrivateProfileStringW(row.bNotice ? L"LOGONDIALOG" : L"DIALOG", szKey, szFallback, szBase, TEXT_CCH, szIni);
        GetPrivateProfileStringW(row.bNotice ? szNotice : szDialog, szKey, szBase, m_szTexts[i], TEXT_CCH, szIni);
    }
    LoadPictures();
}

void CMainFrame::LoadPictures() {
    FreePictures();
    WCHAR szPath[MAX_PATH];
    DWORD n = GetModuleFileNameW(m_hInstance, szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) szPath[0] = L'\0';
    WCHAR* pSlash = wcsrchr(szPath, L'\\');
    size_t cchFolder = pSlash ? static_cast<size_t>(pSlash - szPath) + 1 : 0;
    int nPosture = m_ModuleInfo.GetRfStopPosture();
    for (int i = 0; i < PICTURE_COUNT; ++i) {
        NoticePictureSlot& slot = m_aPictures[i];
        szPath[cchFolder] = L'\0';
        WIN32_FIND_DATAW fd;
        HANDLE hFind = INVALID_HANDLE_VALUE;
        if (SUCCEEDED(StringCchCatW(szPath, MAX_PATH, GetPictureFile(i, nPosture))))
            hFind = FindFirstFileW(szPath, &fd);
        if (hFind != INVALID_HANDLE_VALUE) {
            FindClose(hFind);
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                if (!m_bGdiplusStarted) {
                    Gdiplus::GdiplusStartupInput input;
                    m_bGdiplusStarted = Gdiplus::GdiplusStartup(&m_ulGdiplusToken, &input, NULL) == Gdiplus::Ok;
                }
                if (m_bGdiplusStarted) {
                    slot.pImage = new Gdiplus::Image(szPath);
                    // A file that is no picture: its bitmap stands in.
                    if (slot.pImage->GetLastStatus() != Gdiplus::Ok || slot.pImage->GetWidth() == 0) {
                        delete slot.pImage;
                        slot.pImage = NULL;
                    }
                }
            }
        }
        if (!slot.pImage) slot.hBitmap = LoadBitmapW(m_hInstance, MAKEINTRESOURCEW(GetPictureBitmap(i)));
    }
}

void CMainFrame::FreePictures() {
    for (NoticePictureSlot& slot : m_aPictures) {
        delete slot.pImage;
        slot.pImage = NULL;
        if (slot.hBitmap) DeleteObject(slot.hBitmap);
        slot.hBitmap = NULL;
    }
    if (m_bGdiplusStarted) Gdiplus::GdiplusShutdown(m_ulGdiplusToken);
    m_bGdiplusStarted = FALSE;
    m_ulGdiplusToken = 0;
}

LPCWSTR CMainFrame::GetText(int nText) const { return nText >= 0 && nText < TEXT_COUNT ? m_szTexts[nText] : L""; }

// ---------------------------------------------------------------------------------------
// WM_APP_NOTIFY

LRESULT CMainFrame::OnNotify(WPARAM wParam, LPARAM lParam) {
    switch (wParam) {
    case NOTIFY_LOGON:
        if (!m_bLogonDlgFlag) ShowLogonDlg();
        break;
    case NOTIFY_RFSTOPPED:
        if (lParam == 0) {
            if (m_pMyDlg) m_pMyDlg->Show(SW_HIDE);
        } else if (!m_bDlgFlag) {
            StopTimer(TIMER_POLLSTART);
            ShowRFStoppedDlg();
        }
        break;
    case NOTIFY_FIRSTCHECK:
        if (m_bFirstCheckDone) break;
        m_bFirstCheckDone = TRUE;
        if (GetPosture(1) != m_ModuleInfo.GetRfStopPosture() && lstrcmpiW(m_szCmdLine, L"/nogui") != 0) StartSplash();
        break;
    default: break;
    }
    return 0;
}

void CMainFrame::ShowLogonDlg() {
    if (m_pLogonDlg) return;
    CLogonMyDlg* pDlg = new CLogonMyDlg(this);
    if (!pDlg->Create(m_hInstance)) {
        delete pDlg;
        return;
    }
    m_pLogonDlg = pDlg;
    pDlg->Show(SW_SHOW);
}

HWND CMainFrame::GetLogonDlg() const { return m_pLogonDlg ? m_pLogonDlg->m_hWnd : NULL; }

void CMainFrame::SetUserChoice(BOOL bNotice, BOOL bNoMore) {
    // The choice holds for this run even when it cannot be kept.
    WriteUserFlag(bNotice ? USER_FLAG_NOTICE : USER_FLAG_RFSTOPPED, bNoMore);
    if (bNotice)
        m_bLogonDlgFlag = bNoMore;
    else
        m_bDlgFlag = bNoMore;
}

void CMainFrame::StartSplash() {
    WCHAR szPath[MAX_PATH];
    DWORD n = GetModuleFileNameW(m_hInstance, szPath, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return;
    WCHAR* pSlash = wcsrchr(szPath, L'\\');
    if (pSlash)
        pSlash[1] = L'\0';
    else
        szPath[0] = L'\0';
    if (FAILED(StringCchCatW(szPath, MAX_PATH, L"splash.exe"))) return;
    // The path names the program; the command line quotes it, as its folder has spaces.
    WCHAR szCmdLine[MAX_PATH + 2];
    if (FAILED(StringCchPrintfW(szCmdLine, MAX_PATH + 2, L"\"%s\"", szPath))) return;
    STARTUPINFOW si;
    memset(&si, 0, sizeof(si));
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi;
    memset(&pi, 0, sizeof(pi));
    if (!CreateProcessW(szPath, szCmdLine, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) return;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
}

// ---------------------------------------------------------------------------------------
// The limitation notice

CLogonMyDlg::CLogonMyDlg(CMainFrame* pFrame)
    : CVqDialog(IDD_LOGONNOTICE, pFrame), m_pFrame(pFrame), m_hTitleFont(NULL), m_pfnStaticProc(NULL) {}

CLogonMyDlg::~CLogonMyDlg() {
    // The title control went with the window.
    if (m_hTitleFont) DeleteObject(m_hTitleFont);
}

BOOL CLogonMyDlg::OnInitDialog() {
    // The title: the dialog's font, bold and two units larger.
    HFONT hFont = reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    LOGFONTW lf;
    if (hFont && GetObjectW(hFont, sizeof(lf), &lf) == static_cast<int>(sizeof(lf))) {
        lf.lfHeight += lf.lfHeight < 0 ? -2 : 2;
        lf.lfWeight = FW_BOLD;
        m_hTitleFont = CreateFontIndirectW(&lf);
        if (m_hTitleFont)
            SendMessageW(GetDlgItem(m_hWnd, IDC_NOTICE_TITLE), WM_SETFONT, reinterpret_cast<WPARAM>(m_hTitleFont),
                         FALSE);
    }

    static const struct {
        int nControl;
        int nText;
    } kControls[] = {{IDC_NOTICE_TITLE, TEXT_NOTICE_TITLE},
                     {IDC_NOTICE_LINE1, TEXT_NOTICE_LINE1},
                     {IDC_NOTICE_LINE2, TEXT_NOTICE_LINE2},
                     {IDC_NOTICE_CAPTION, TEXT_NOTICE_CAPTION},
                     {IDC_NOTICE_CHECK, TEXT_NOTICE_CHECK},
                     {IDOK, TEXT_NOTICE_BUTTON},
                     {IDC_LABEL_PRIMARY_LANDSCAPE, TEXT_LABEL_PLAND},
                     {IDC_LABEL_PRIMARY_PORTRAIT, TEXT_LABEL_PPORT},
                     {IDC_LABEL_SECONDARY_LANDSCAPE, TEXT_LABEL_SLAND},
                     {IDC_LABEL_SECONDARY_PORTRAIT, TEXT_LABEL_SPORT}};
    for (const auto& c : kControls) SetDlgItemTextW(m_hWnd, c.nControl, m_pFrame->GetText(c.nText));
    CheckDlgButton(m_hWnd, IDC_NOTICE_CHECK, BST_UNCHECKED);
    // Each bitmap is set once; a PNG image is drawn by its control's own painting.
    for (int i = 0; i < PICTURE_COUNT; ++i) {
        const NoticePictureSlot& slot = m_pFrame->GetPicture(i);
        HWND hCtl = GetDlgItem(m_hWnd, GetPictureControl(i));
        if (!hCtl) continue;
        if (slot.pImage) {
            WNDPROC pfn = reinterpret_cast<WNDPROC>(
                SetWindowLongPtrW(hCtl, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CLogonMyDlg::PictureProc)));
            if (!m_pfnStaticProc) m_pfnStaticProc = pfn;
            InvalidateRect(hCtl, NULL, TRUE);
        } else if (slot.hBitmap) {
            SendMessageW(hCtl, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(slot.hBitmap));
        }
    }
    CenterTopmost(m_hWnd);
    return TRUE;
}

LRESULT CALLBACK CLogonMyDlg::PictureProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    CLogonMyDlg* pDlg = static_cast<CLogonMyDlg*>(CVqWnd::FromHandle(GetParent(hWnd)));
    if (!pDlg || !pDlg->m_pfnStaticProc) return DefWindowProcW(hWnd, uMsg, wParam, lParam);
    return pDlg->OnPictureMessage(hWnd, uMsg, wParam, lParam);
}

LRESULT CLogonMyDlg::OnPictureMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    Gdiplus::Image* pImage = NULL;
    for (int i = 0; i < PICTURE_COUNT && m_pFrame; ++i)
        if (GetPictureControl(i) == GetDlgCtrlID(hWnd)) pImage = m_pFrame->GetPicture(i).pImage;
    if (uMsg != WM_PAINT || !pImage) return CallWindowProcW(m_pfnStaticProc, hWnd, uMsg, wParam, lParam);
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hWnd, &ps);
    if (hdc) {
        Gdiplus::Graphics graphics(hdc);
        // At 1.6 times the picture's own size.
        INT cx = static_cast<INT>(pImage->GetWidth() * 16 / 10), cy = static_cast<INT>(pImage->GetHeight() * 16 / 10);
        graphics.DrawImage(pImage, 1, 1, cx, cy);
    }
    EndPaint(hWnd, &ps);
    return 0;
}

void CLogonMyDlg::OnOK() {
    if (m_pFrame) {
        m_pFrame->SetUserChoice(TRUE, IsDlgButtonChecked(m_hWnd, IDC_NOTICE_CHECK) == BST_CHECKED);
        m_pFrame->ForgetLogonDlg();
    }
    DestroyWindow();
}

void CLogonMyDlg::OnCancel() {
    if (m_pFrame) m_pFrame->ForgetLogonDlg();
    DestroyWindow();
}

void CLogonMyDlg::PostNcDestroy() {
    // Also when the frame's end takes the dialog with it.
    if (m_pFrame) m_pFrame->ForgetLogonDlg();
    delete this;
}

void CenterTopmost(HWND hDlg) {
    RECT rcDesk, rcDlg;
    GetClientRect(GetDesktopWindow(), &rcDesk);
    GetWindowRect(hDlg, &rcDlg);
    int cx = rcDlg.right - rcDlg.left, cy = rcDlg.bottom - rcDlg.top;
    int x = ((rcDesk.right - rcDesk.left) - cx) / 2;
    int y = ((rcDesk.bottom - rcDesk.top) - cy) / 2;
    SetWindowPos(hDlg, HWND_TOPMOST, x, y, cx, cy, SWP_HIDEWINDOW);
}
