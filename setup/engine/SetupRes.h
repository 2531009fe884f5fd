// The setup program's resources, the one source of both builds: the Windows build's
// resource script expands these lists (vq_add_program RESOURCES), the Linux build turns
// them into the resource table of the program's process. Texts are UTF-8.
#pragma once

#include "resource.h"

// Japanese (LANG_JAPANESE, SUBLANG_DEFAULT).
#define VQ_RES_LANGUAGE 0x0411
#define VQ_RES_LANG_PRIMARY 0x11
#define VQ_RES_LANG_SUB 0x01

// S(id, text)
#define VQ_RES_STRINGS(S)        \
    S(IDS_APP_TITLE, "Dravetto") \
    S(IDC_SETUP, "DRAVETTO")

// I(id, file)
#define VQ_RES_ICONS(I)       \
    I(IDI_ABOUT, "Setup.ico") \
    I(IDI_SETUP, "Setup.ico") \
    I(IDI_SMALL, "small.ico")

// M(id, items): items(POPUP, ITEM, SEPARATOR, END) with POPUP(text) ... END around a
// popup's items and ITEM(text, command).
#define VQ_SETUP_MENU(POPUP, ITEM, SEPARATOR, END) \
    POPUP("ファイル(&F)")                          \
    ITEM("アプリケーションの終了(&X)", IDM_EXIT)   \
    END POPUP("ヘルプ(&H)") ITEM("バージョン情報 ...(&A)", IDM_ABOUT) END

#define VQ_RES_MENUS(M) M(IDC_SETUP, VQ_SETUP_MENU)

// D(id, x, y, cx, cy, style, caption, font size, font, controls) in dialog units;
// controls(ICON, CONTROL) with ICON(icon, id, x, y, cx, cy) and
// CONTROL(text, id, class, style, x, y, cx, cy).
#define VQ_SETUP_ABOUT(ICON, CONTROL)                                                            \
    ICON(IDI_ABOUT, IDC_STATIC, 14, 9, 21, 20)                                                   \
    CONTROL("Dravetto Version 1.0", IDC_STATIC, "Static", SS_LEFT | SS_NOPREFIX, 42, 14, 114, 8) \
    CONTROL("OK", IDOK, "Button", BS_DEFPUSHBUTTON | WS_TABSTOP | WS_GROUP, 113, 41, 50, 14)

#define VQ_RES_DIALOGS(D)                                                                                     \
    D(IDD_ABOUTBOX, 22, 17, 170, 62, DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU, "バージョン情報", 9, \
      "System", VQ_SETUP_ABOUT)
