// The GUI's notices: the texts of its two dialogs by the user's language, the user's
// choices to see them no more, the limitation notice and the outside program splash.exe.
#pragma once

#include <windows.h>

#include "VqFrame.h"

#define USER_FLAG_RFSTOPPED L"DLGFLAG"
#define USER_FLAG_NOTICE L"LOGONDLGFLAG"
#define TEXT_CCH 1024

// The display-position pictures of the notice, in the order they are loaded.
enum NoticePicture { PICTURE_PPORT, PICTURE_SPORT, PICTURE_PLAND, PICTURE_SLAND, PICTURE_COUNT };

namespace Gdiplus {
class Image;
}

// A picture: a PNG image beside the program, else a bitmap of the resources.
struct NoticePictureSlot {
    Gdiplus::Image* pImage;
    HBITMAP hBitmap;
};

// The texts of the dialogs, in the frame's order.
enum NoticeText {
    TEXT_RFSTOP_TITLE,
    TEXT_RFSTOP_MESSAGE,
    TEXT_RFSTOP_CHECK,
    TEXT_RFSTOP_BUTTON,
    TEXT_NOTICE_TITLE,
    TEXT_NOTICE_LINE1,
    TEXT_NOTICE_LINE2,
    TEXT_NOTICE_CAPTION,
    TEXT_NOTICE_CHECK,
    TEXT_NOTICE_BUTTON,
    TEXT_LABEL_PLAND,
    TEXT_LABEL_PPORT,
    TEXT_LABEL_SLAND,
    TEXT_LABEL_SPORT,
    TEXT_COUNT
};

// The section suffix of a user interface language ("ENGLISH" for any other).
LPCWSTR GetLanguageName(LANGID wLangId);
// The key suffix of the texts that name the RF-stop posture.
LPCWSTR GetPostureSuffix(int nRfStopPosture);
// A value of HKCU\Software\Quarven\Lumora: 1 or 0 (0 when it cannot be read).
BOOL ReadUserFlag(LPCWSTR pszName);
BOOL WriteUserFlag(LPCWSTR pszName, BOOL bValue);
// Centres a dialog on the desktop, topmost and hidden (its caller shows it).
void CenterTopmost(HWND hDlg);
// The PNG file of a picture slot for the RF-stop posture (the X pictures show the position
// in which RF stops), its bitmap resource and the notice's control.
LPCWSTR GetPictureFile(int nSlot, int nRfStopPosture);
UINT GetPictureBitmap(int nSlot);
int GetPictureControl(int nSlot);

class CMainFrame;

// The limitation notice (dialog 133), modeless, owned by the frame.
class CLogonMyDlg : public CVqDialog {
public:
    explicit CLogonMyDlg(CMainFrame* pFrame);
    void Show(int nCmdShow) { ShowWindow(nCmdShow); }

    ~CLogonMyDlg() override;

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    void PostNcDestroy() override;

    // The picture controls that show a PNG image draw it in their own painting.
    static LRESULT CALLBACK PictureProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);
    LRESULT OnPictureMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam);

    CMainFrame* m_pFrame;
    HFONT m_hTitleFont;  // lives as long as the dialog
    WNDPROC m_pfnStaticProc;
};
