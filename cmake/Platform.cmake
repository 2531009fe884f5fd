# Build configuration shared by every target: the Windows API comes from the real SDK
# (mingw-w64 cross builds) or from winsim (the default Linux build).

if(CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(VQ_WINDOWS ON)
else()
  set(VQ_WINDOWS OFF)
endif()

option(VQ_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer (Linux)" ON)
option(VQ_FUZZ "Build the fuzz targets of tests/fuzz (Linux, clang; scripts/fuzz.sh)" OFF)
option(VQ_TSAN "Build with ThreadSanitizer instead (Linux; scripts/tsan.sh)" OFF)
if(VQ_TSAN)
  set(VQ_SANITIZE OFF)
endif()

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE Debug CACHE STRING "Build type" FORCE)
endif()

add_compile_options(-Wall -Wextra)

if(VQ_WINDOWS)
  # Static runtime: the programs need no DLL beyond the system's.
  add_link_options(-static -static-libgcc -static-libstdc++)
  # Windows 7 unless a target names an older minimum in its VQ_WINNT property (the headers
  # then refuse the newer declarations).
  set(vq_winnt "$<IF:$<BOOL:$<TARGET_PROPERTY:VQ_WINNT>>,$<TARGET_PROPERTY:VQ_WINNT>,0x0601>")
  add_compile_definitions(UNICODE _UNICODE _WIN32_WINNT=${vq_winnt} WINVER=${vq_winnt} NOMINMAX)
elseif(VQ_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(VQ_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(VQ_FUZZ AND NOT VQ_WINDOWS)
  # Coverage for libFuzzer in every library the targets link.
  add_compile_options(-fsanitize=fuzzer-no-link)
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

# vq_resource_table_source(out_var FUNCTION name HEADER file [MANIFEST file])
# Linux: writes a source that defines
#   std::shared_ptr<const winsim::ResourceTable> <name>();
# the resource table of a program from its resource header (see winsim/program_resources.h)
# and its manifest file, and sets out_var to its path. Tests that run a program in-process
# compile it too, so that they hand the program the same resources as its executable.
function(vq_resource_table_source out_var)
  cmake_parse_arguments(R "" "FUNCTION;HEADER;MANIFEST" "" ${ARGN})
  get_filename_component(hdr "${R_HEADER}" ABSOLUTE)
  set(src "${CMAKE_CURRENT_BINARY_DIR}/${R_FUNCTION}_resources.cpp")
  set(manifest_expr "nullptr")
  set(manifest_def "")
  if(R_MANIFEST)
    get_filename_component(man "${R_MANIFEST}" ABSOLUTE)
    file(READ "${man}" manifest_text)
    set(manifest_def "static const char kManifest[] = R\"vqmanifest(${manifest_text})vqmanifest\";\n")
    set(manifest_expr "kManifest")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${man}")
  endif()
  file(WRITE "${src}.in"
    "// Generated from ${R_HEADER}: the program's resource table.\n"
    "#include <windows.h>\n"
    "#include \"${hdr}\"\n"
    "#include \"winsim/program_resources.h\"\n"
    "${manifest_def}"
    "std::shared_ptr<const winsim::ResourceTable> ${R_FUNCTION}() {\n"
    "    static const auto table = WINSIM_RESOURCE_TABLE(${manifest_expr});\n"
    "    return table;\n"
    "}\n")
  configure_file("${src}.in" "${src}" COPYONLY)
  set(${out_var} "${src}" PARENT_SCOPE)
endfunction()

# The Windows resource script of a program's resource header (see vq_add_program).
function(vq_resource_script out_var target header manifest)
  get_filename_component(hdr "${header}" ABSOLUTE)
  set(rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_resources.rc")
  set(manifest_line "")
  if(manifest)
    get_filename_component(man "${manifest}" ABSOLUTE)
    set(manifest_line "1 24 \"${man}\"\n")
  endif()
  file(WRITE "${rc}.in"
    "// Generated: the resources of ${target} from ${header}.\n"
    "#pragma code_page(65001)\n"
    "#include <windows.h>\n"
    "#include \"${hdr}\"\n"
    "#ifndef VQ_RES_STRINGS\n#define VQ_RES_STRINGS(S)\n#endif\n"
    "#ifndef VQ_RES_ICONS\n#define VQ_RES_ICONS(I)\n#endif\n"
    "#ifndef VQ_RES_BITMAPS\n#define VQ_RES_BITMAPS(B)\n#endif\n"
    "#ifndef VQ_RES_MENUS\n#define VQ_RES_MENUS(M)\n#endif\n"
    "#ifndef VQ_RES_DIALOGS\n#define VQ_RES_DIALOGS(D)\n#endif\n"
    "#define VQ_RC_STRING(id, text) id, text\n"
    "#define VQ_RC_ICON(id, file) id ICON file\n"
    "#define VQ_RC_BITMAP(id, file, cx, cy) id BITMAP file\n"
    "#define VQ_RC_POPUP(text) POPUP text BEGIN\n"
    "#define VQ_RC_ITEM(text, id) MENUITEM text, id\n"
    "#define VQ_RC_SEPARATOR MENUITEM SEPARATOR\n"
    "#define VQ_RC_END END\n"
    "#define VQ_RC_MENU(id, items) id MENU BEGIN items(VQ_RC_POPUP, VQ_RC_ITEM, VQ_RC_SEPARATOR, VQ_RC_END) END\n"
    "#define VQ_RC_ICONCTL(icon, id, x, y, cx, cy) ICON icon, id, x, y, cx, cy\n"
    "#define VQ_RC_CONTROL(text, id, cls, style, x, y, cx, cy, ...) CONTROL text, id, cls, style, x, y, cx, cy, ##__VA_ARGS__\n"
    "#define VQ_RC_DIALOG(id, x, y, cx, cy, style, caption, font_size, font, controls) \\\n"
    "    id DIALOG x, y, cx, cy STYLE style CAPTION caption FONT font_size, font \\\n"
    "    BEGIN controls(VQ_RC_ICONCTL, VQ_RC_CONTROL) END\n"
    "LANGUAGE VQ_RES_LANG_PRIMARY, VQ_RES_LANG_SUB\n"
    "STRINGTABLE BEGIN VQ_RES_STRINGS(VQ_RC_STRING) END\n"
    "VQ_RES_ICONS(VQ_RC_ICON)\n"
    "VQ_RES_BITMAPS(VQ_RC_BITMAP)\n"
    "VQ_RES_MENUS(VQ_RC_MENU)\n"
    "VQ_RES_DIALOGS(VQ_RC_DIALOG)\n"
    "${manifest_line}")
  configure_file("${rc}.in" "${rc}" COPYONLY)
  get_filename_component(hdr_dir "${hdr}" DIRECTORY)
  set_property(SOURCE ${rc} APPEND PROPERTY INCLUDE_DIRECTORIES "${hdr_dir}")
  set_property(SOURCE ${rc} APPEND PROPERTY OBJECT_DEPENDS "${hdr}")
  set(${out_var} "${rc}" PARENT_SCOPE)
endfunction()

# vq_add_program(target FILE name.exe FOLDER "C:\\..." [GUI] [DESCRIPTION text]
#                [RESOURCES header [MANIFEST file]] SOURCES ...)
# A program of the system: a Windows executable in the cross builds; on Linux an executable
# that runs the same entry point as a process of the simulated machine. Its version
# resource comes from common/Version.h (a resource script on Windows; on Linux winsim
# attaches the same strings to the program's image file). RESOURCES names the program's
# resource header (strings, icons, menus, dialogs; see winsim/program_resources.h): a
# resource script expands it on Windows, where MANIFEST becomes the RT_MANIFEST 1 resource;
# on Linux both become the resource table attached to the program's process.
function(vq_add_program target)
  cmake_parse_arguments(P "GUI" "FILE;FOLDER;DESCRIPTION;RESOURCES;MANIFEST" "SOURCES;LIBS" ${ARGN})
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
    if(P_RESOURCES)
      vq_resource_script(res_rc ${target} "${P_RESOURCES}" "${P_MANIFEST}")
      list(APPEND rc "${res_rc}")
    endif()
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
    set(res_def "")
    set(res_src "")
    if(P_RESOURCES)
      string(MAKE_C_IDENTIFIER "${target}" res_fn)
      set(res_fn "${res_fn}_ProgramResources")
      vq_resource_table_source(res_src FUNCTION ${res_fn} HEADER "${P_RESOURCES}" MANIFEST "${P_MANIFEST}")
      set(res_def "#define WINSIM_PROGRAM_RESOURCES ${res_fn}\n")
    endif()
    file(WRITE "${launcher}.in"
      "#define WINSIM_PROGRAM_FILE L\"${P_FILE}\"\n"
      "#define WINSIM_PROGRAM_FOLDER L\"${folder_lit}\"\n"
      "#define WINSIM_PROGRAM_VERSION 1\n"
      "#define VQ_PROGRAM_FILE_STR \"${P_FILE}\"\n"
      "#define VQ_PROGRAM_NAME_STR \"${P_NAME}\"\n"
      "#define VQ_PROGRAM_DESCRIPTION_STR \"${P_DESCRIPTION}\"\n"
      "${gui_def}"
      "${res_def}"
      "#include \"${CMAKE_SOURCE_DIR}/winsim/launcher/program_main.cpp\"\n")
    configure_file("${launcher}.in" "${launcher}" COPYONLY)
    add_executable(${target} ${P_SOURCES} ${launcher} ${res_src})
    target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/common)
  endif()
  target_link_libraries(${target} PRIVATE ${P_LIBS} winapi)
endfunction()
