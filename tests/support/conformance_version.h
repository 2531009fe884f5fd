// The version resource of the conformance test program: its resource script compiles it
// into the Windows build, and on Linux the fixture attaches the same to the program's image.
#pragma once

#define VQCONF_FILE_VERSION 2, 1, 0, 3
#define VQCONF_FILE_VERSION_STR "2.1.0.3"
#define VQCONF_COMPANY_STR "Quarven"
#define VQCONF_COMMENTS_STR "jp"
