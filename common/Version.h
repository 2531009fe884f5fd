// The version of the system's programs: the one source of their version resource. The
// Windows build compiles common/Version.rc from it (one resource script per program,
// with the program's own strings defined by vq_add_program); the Linux build hands the
// same strings to winsim, which attaches them to the program's image file, so that
// GetFileVersionInfoW reads the same block in both builds.
//
// Per program (defined by vq_add_program): VQ_PROGRAM_FILE_STR ("Setup.exe"),
// VQ_PROGRAM_NAME_STR ("Setup"), VQ_PROGRAM_DESCRIPTION_STR.
#pragma once

#define VQ_VERSION_MAJOR 1
#define VQ_VERSION_MINOR 0
#define VQ_VERSION_BUILD 0
#define VQ_VERSION_REVISION 1
#define VQ_VERSION_STR "1.0.0.1"

#define VQ_COMPANY_STR "Quarven"
#define VQ_PRODUCT_STR "Veltrane"
#define VQ_COPYRIGHT_STR "Copyright (C) Quarven"

// The one translation: US English, Unicode (the block name "040904b0").
#define VQ_VERSION_LANGUAGE 0x0409
#define VQ_VERSION_CODEPAGE 1200
#define VQ_VERSION_BLOCK "040904b0"

// The strings of the version resource, as X(name, value) entries in their order.
#define VQ_VERSION_STRINGS(X)                        \
    X("CompanyName", VQ_COMPANY_STR)                 \
    X("FileDescription", VQ_PROGRAM_DESCRIPTION_STR) \
    X("FileVersion", VQ_VERSION_STR)                 \
    X("InternalName", VQ_PROGRAM_NAME_STR)           \
    X("LegalCopyright", VQ_COPYRIGHT_STR)            \
    X("OriginalFilename", VQ_PROGRAM_FILE_STR)       \
    X("ProductName", VQ_PRODUCT_STR)                 \
    X("ProductVersion", VQ_VERSION_STR)

#ifndef RC_INVOKED
#define VQ_WIDE_(s) L##s
#define VQ_WIDE(s) VQ_WIDE_(s)
#endif
