// RVQXCTRL's resources, the one source of both builds: the Windows build's resource
// script expands these lists (vq_add_program RESOURCES), the Linux build turns them into
// the resource table of the program's process. Texts are UTF-8.
#pragma once

#include "resource.h"

// English (United States).
#define VQ_RES_LANGUAGE 0x0409
#define VQ_RES_LANG_PRIMARY 0x09
#define VQ_RES_LANG_SUB 0x01

#define VQ_RES_STRINGS(S)                                                                                     \
    S(IDR_MAINFRAME, "RVQXCTRL")                                                                              \
    S(IDS_RFSTOP_TITLE, "The RF transmission of Wireless WAN has been stopped.")                              \
    S(IDS_RFSTOP_MESSAGE,                                                                                     \
      "The RF transmission of Wireless WAN is stopped whenever the PC is used in the Secondary Portrait "     \
      "Display Position, which is your current PC position.  If you want to use Wireless WAN, please change " \
      "your PC position to any of the other display positions and re-connect.")                               \
    S(IDS_RFSTOP_CHECK, "Don't display this message in the future")                                           \
    S(IDS_RFSTOP_BUTTON, "OK")                                                                                \
    S(IDS_NOTICE_TITLE, "Limitation of Wireless WAN Connection.")                                             \
    S(IDS_NOTICE_LINE1, "This PC has the following limitation for Wireless WAN connection.")                  \
    S(IDS_NOTICE_LINE2,                                                                                       \
      "The RF transmission of Wireless WAN will be stopped when this PC is used in the Secondary Portrait "   \
      "Display Position.")                                                                                    \
    S(IDS_NOTICE_CAPTION, "Display Positions of Tablet PC")                                                   \
    S(IDS_NOTICE_CHECK, "Don't display this message in the future.")                                          \
    S(IDS_PRIMARY_LANDSCAPE, "Primary landscape")                                                             \
    S(IDS_PRIMARY_PORTRAIT, "Primary portrait")                                                               \
    S(IDS_SECONDARY_LANDSCAPE, "Secondary landscape")                                                         \
    S(IDS_SECONDARY_PORTRAIT, "Secondary portrait")                                                           \
    S(IDS_RFSTOP_MESSAGE_FMT,                                                                                 \
      "The RF transmission of Wireless WAN is stopped whenever the PC is used in the %s Display Position, "   \
      "which is your current PC position.  If you want to use Wireless WAN, please change your PC position "  \
      "to any of the other display positions and re-connect.")                                                \
    S(IDS_NOTICE_LINE2_FMT,                                                                                   \
      "The RF transmission of Wireless WAN will be stopped when this PC is used in the %s Display Position.") \
    S(IDS_POSITION_PLAND, "Primary Landscape")                                                                \
    S(IDS_POSITION_SPORT, "Secondary Portrait")                                                               \
    S(IDS_POSITION_SLAND, "Secondary Landscape")                                                              \
    S(IDS_POSITION_PPORT, "Primary Portrait")

#define VQ_RES_ICONS(I) I(IDR_MAINFRAME, "RVQXCTRL.ico")

// The display positions; the portrait pictures share a size, and the landscape ones.
#define VQ_RES_BITMAPS(B)                 \
    B(IDB_PLAND, "res/PLAND.bmp", 96, 64) \
    B(IDB_PPORT, "res/PPORT.bmp", 64, 80) \
    B(IDB_SLAND, "res/SLAND.bmp", 96, 64) \
    B(IDB_SPORT, "res/SPORT.bmp", 64, 80)

#define VQ_RVQXCTRL_MENU(POPUP, ITEM, SEPARATOR, END) \
    POPUP("&File")                                    \
    ITEM("E&xit", ID_APP_EXIT)                        \
    END POPUP("&Help") ITEM("&About RVQXCTRL...", ID_APP_ABOUT) END

#define VQ_RES_MENUS(M) M(IDR_MAINFRAME, VQ_RVQXCTRL_MENU)

#define VQ_RVQXCTRL_ABOUT(ICON, CONTROL)                                                         \
    ICON(IDR_MAINFRAME, IDC_STATIC, 11, 17, 20, 20)                                              \
    CONTROL("RVQXCTRL Version 1.0", IDC_STATIC, "Static", SS_LEFT | SS_NOPREFIX, 40, 10, 119, 8) \
    CONTROL("OK", IDOK, "Button", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 178, 7, 50, 16)

#define VQ_RVQXCTRL_RFSTOPPED(ICON, CONTROL)                                              \
    CONTROL("", IDC_RFSTOP_TITLE, "Static", SS_CENTER, 7, 7, 244, 11)                     \
    CONTROL("", IDC_RFSTOP_MESSAGE, "Static", SS_LEFT, 7, 25, 244, 52)                    \
    CONTROL("", IDC_RFSTOP_CHECK, "Button", BS_AUTOCHECKBOX | WS_TABSTOP, 7, 86, 184, 12) \
    CONTROL("OK", IDOK, "Button", BS_DEFPUSHBUTTON | WS_TABSTOP, 195, 81, 56, 17)

#define VQ_RVQXCTRL_PICTURE (SS_BITMAP | SS_CENTERIMAGE)

#define VQ_RVQXCTRL_NOTICE(ICON, CONTROL)                                                              \
    CONTROL("", IDC_NOTICE_TITLE, "Static", SS_LEFT | SS_CENTERIMAGE, 7, 3, 362, 11)                   \
    CONTROL("", IDC_NOTICE_LINE1, "Static", SS_LEFT, 7, 17, 362, 12)                                   \
    CONTROL("", IDC_NOTICE_LINE2, "Static", SS_LEFT, 7, 27, 362, 22)                                   \
    CONTROL("", IDC_LABEL_PRIMARY_PORTRAIT, "Static", SS_CENTER, 7, 53, 151, 10)                       \
    CONTROL("", IDC_LABEL_SECONDARY_PORTRAIT, "Static", SS_CENTER, 167, 53, 151, 10)                   \
    CONTROL("", IDC_PICTURE_PPORT, "Static", VQ_RVQXCTRL_PICTURE, 36, 63, 93, 51, WS_EX_TRANSPARENT)   \
    CONTROL("", IDC_PICTURE_SPORT, "Static", VQ_RVQXCTRL_PICTURE, 193, 62, 93, 52, WS_EX_TRANSPARENT)  \
    CONTROL("", IDC_LABEL_PRIMARY_LANDSCAPE, "Static", SS_CENTER, 7, 114, 151, 10)                     \
    CONTROL("", IDC_LABEL_SECONDARY_LANDSCAPE, "Static", SS_CENTER, 167, 114, 151, 10)                 \
    CONTROL("", IDC_PICTURE_PLAND, "Static", VQ_RVQXCTRL_PICTURE, 35, 123, 93, 44, WS_EX_TRANSPARENT)  \
    CONTROL("", IDC_PICTURE_SLAND, "Static", VQ_RVQXCTRL_PICTURE, 195, 123, 93, 40, WS_EX_TRANSPARENT) \
    CONTROL("OK", IDOK, "Button", BS_DEFPUSHBUTTON | WS_TABSTOP, 310, 141, 59, 22)                     \
    CONTROL("", IDC_NOTICE_CAPTION, "Static", SS_CENTER, 11, 166, 298, 10)                             \
    CONTROL("", IDC_NOTICE_CHECK, "Button", BS_AUTOCHECKBOX | WS_TABSTOP, 20, 177, 312, 10)

#define VQ_RVQXCTRL_DLGSTYLE (DS_MODALFRAME | DS_SETFOREGROUND | WS_POPUP | WS_CAPTION | WS_SYSMENU)

#define VQ_RES_DIALOGS(D)                                                                                   \
    D(IDD_ABOUTBOX, 0, 0, 235, 55, DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, "About RVQXCTRL", 8, \
      "MS Shell Dlg", VQ_RVQXCTRL_ABOUT)                                                                    \
    D(IDD_RFSTOPPED, 0, 0, 258, 105, VQ_RVQXCTRL_DLGSTYLE | DS_SYSMODAL, "RVQXCTRL", 8, "MS Shell Dlg",     \
      VQ_RVQXCTRL_RFSTOPPED)                                                                                \
    D(IDD_LOGONNOTICE, 0, 0, 377, 194, VQ_RVQXCTRL_DLGSTYLE, "RVQXCTRL", 10, "Tahoma", VQ_RVQXCTRL_NOTICE)
