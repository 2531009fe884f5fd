# Build configuration shared by every target: the Windows API comes from the real SDK
# (mingw-w64 cross builds) or from winsim (the default Linux build).

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(VQ_WINDOWS ON)
else()
  set(VQ_WINDOWS OFF)
endif()

option(VQ_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer (Linux)" ON)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE Debug CACHE STRING "Build type" FORCE)
endif()

add_compile_options(-Wall -Wextra)

if(VQ_WINDOWS)
  # Static runtime: the programs need no DLL beyond the system's.
  add_link_options(-static -static-libgcc -static-libstdc++)
  add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=0x0601 WINVER=0x0601 NOMINMAX)
elseif(VQ_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# winapi: what system code links to reach the Windows API.
add_library(winapi INTERFACE)
if(VQ_WINDOWS)
  target_link_libraries(winapi INTERFACE advapi32 user32 kernel32 shlwapi shell32 ole32 oleaut32 uuid
                        setupapi cfgmgr32 newdev version winmm wtsapi32 gdi32 gdiplus comctl32 wbemuuid
                        userenv psapi)
  # wmain/wWinMain entry points.
  target_link_options(winapi INTERFACE -municode)
else()
  target_link_libraries(winapi INTERFACE winsim)
  # The Windows C runtime's extra functions (_wfopen, _wcsicmp ...) as the CRT headers
  # declare them on Windows.
  target_compile_options(winapi INTERFACE -include ${CMAKE_SOURCE_DIR}/winsim/include/winsim/crt.h)
  target_compile_definitions(winapi INTERFACE UNICODE _UNICODE)
endif()
