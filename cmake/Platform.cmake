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

if(VQ_WINDOWS)
  enable_language(RC)
endif()

# vq_add_program(target FILE name.exe FOLDER "C:\\..." [GUI] [DESCRIPTION text] SOURCES ...)
# A program of the system: a Windows executable in the cross builds; on Linux an executable
# that runs the same entry point as a process of the simulated machine. Its version
# resource comes from common/Version.h (a resource script on Windows; on Linux winsim
# attaches the same strings to the program's image file).
function(vq_add_program target)
  cmake_parse_arguments(P "GUI" "FILE;FOLDER;DESCRIPTION" "SOURCES;LIBS" ${ARGN})
  get_filename_component(P_NAME "${P_FILE}" NAME_WE)
  if(NOT P_DESCRIPTION)
    set(P_DESCRIPTION "${P_NAME}")
  endif()
  if(VQ_WINDOWS)
    set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
    file(WRITE "${rc}.in"
      "#define VQ_PROGRAM_FILE_STR \"${P_FILE}\"\n"
      "#define VQ_PROGRAM_NAME_STR \"${P_NAME}\"\n"
      "#define VQ_PROGRAM_DESCRIPTION_STR \"${P_DESCRIPTION}\"\n"
      "#include \"Version.rc\"\n")
    configure_file("${rc}.in" "${rc}" COPYONLY)
    if(P_GUI)
      add_executable(${target} WIN32 ${P_SOURCES} ${rc})
    else()
      add_executable(${target} ${P_SOURCES} ${rc})
    endif()
    set_property(SOURCE ${rc} APPEND PROPERTY INCLUDE_DIRECTORIES ${CMAKE_SOURCE_DIR}/common)
  else()
    # A launcher source of the target's own, so that each program keeps its own names.
    set(launcher "${CMAKE_CURRENT_BINARY_DIR}/${target}_main.cpp")
    string(REPLACE "\\" "\\\\" folder_lit "${P_FOLDER}")
    set(gui_def "")
    if(P_GUI)
      set(gui_def "#define WINSIM_GUI_PROGRAM 1\n")
    endif()
    file(WRITE "${launcher}.in"
      "#define WINSIM_PROGRAM_FILE L\"${P_FILE}\"\n"
      "#define WINSIM_PROGRAM_FOLDER L\"${folder_lit}\"\n"
      "#define WINSIM_PROGRAM_VERSION 1\n"
      "#define VQ_PROGRAM_FILE_STR \"${P_FILE}\"\n"
      "#define VQ_PROGRAM_NAME_STR \"${P_NAME}\"\n"
      "#define VQ_PROGRAM_DESCRIPTION_STR \"${P_DESCRIPTION}\"\n"
      "${gui_def}"
      "#include \"${CMAKE_SOURCE_DIR}/winsim/launcher/program_main.cpp\"\n")
    configure_file("${launcher}.in" "${launcher}" COPYONLY)
    add_executable(${target} ${P_SOURCES} ${launcher})
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/common)
  endif()
  target_link_libraries(${target} PRIVATE ${P_LIBS} winapi)
endfunction()
