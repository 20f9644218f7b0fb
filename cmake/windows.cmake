# The genuine Win32 executable, built with a MinGW toolchain file (cmake/mingw-*.cmake):
# the program's own sources against the SDK headers and res/qksonnerix.rc through windres.
# None of the stand-in (platform/) is built; platform/win32.h includes the SDK.
#
# Included from CMakeLists.txt when the target is Windows, after QK_PROGRAM_SOURCES is set.

enable_language(RC)

# The program's sources: the list kept in CMakeLists.txt, and any other source of the program's
# folders, so a new file joins this build even before it is listed there.
file(GLOB QK_WINDOWS_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/*.cpp ${CMAKE_SOURCE_DIR}/sound/*.cpp ${CMAKE_SOURCE_DIR}/window/*.cpp
  ${CMAKE_SOURCE_DIR}/picker/*.cpp ${CMAKE_SOURCE_DIR}/bank/*.cpp)
foreach(source IN LISTS QK_PROGRAM_SOURCES)
  get_filename_component(source ${source} ABSOLUTE BASE_DIR ${CMAKE_SOURCE_DIR})
  list(APPEND QK_WINDOWS_SOURCES ${source})
endforeach()
list(REMOVE_DUPLICATES QK_WINDOWS_SOURCES)

# The icons are drawn by res/mkicon.cpp, a build tool that runs on the build host: it is built
# with the host's C++ compiler, not the cross compiler. QK_ICON_DIR may instead name a folder
# that already holds icon_1.ico and icon_2.ico (from a host build's generated/res).
set(QK_ICON_DIR "" CACHE PATH "A folder with ready-made icon_*.ico files (empty: draw them here)")
set(QK_ICONS "")
if(QK_ICON_DIR)
  set(QK_RC_INCLUDE_DIR ${QK_ICON_DIR})
  foreach(icon icon_1 icon_2)
    list(APPEND QK_ICONS ${QK_ICON_DIR}/${icon}.ico)
  endforeach()
else()
  set(QK_RC_INCLUDE_DIR ${CMAKE_BINARY_DIR}/generated/res)
  find_program(QK_HOST_CXX NAMES c++ g++ clang++ REQUIRED)
  set(mkicon ${CMAKE_BINARY_DIR}/host/qk_mkicon)
  add_custom_command(
    OUTPUT ${mkicon}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/host
    COMMAND ${QK_HOST_CXX} -std=c++17 -O2 -Wall -Wextra -o ${mkicon} ${CMAKE_SOURCE_DIR}/res/mkicon.cpp
    DEPENDS ${CMAKE_SOURCE_DIR}/res/mkicon.cpp
    COMMENT "Building the icon drawer for the build host"
    VERBATIM)
  foreach(icon icon_1 icon_2)
    set(out ${QK_RC_INCLUDE_DIR}/${icon}.ico)
    add_custom_command(
      OUTPUT ${out}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${QK_RC_INCLUDE_DIR}
      COMMAND ${mkicon} ${CMAKE_SOURCE_DIR}/res/${icon}.txt ${out}
      DEPENDS ${mkicon} ${CMAKE_SOURCE_DIR}/res/${icon}.txt
      COMMENT "Drawing ${icon}.ico"
      VERBATIM)
    list(APPEND QK_ICONS ${out})
  endforeach()
endif()

set(QK_RC ${CMAKE_SOURCE_DIR}/res/qksonnerix.rc)
set_source_files_properties(${QK_RC} PROPERTIES OBJECT_DEPENDS "${QK_ICONS};${CMAKE_SOURCE_DIR}/res/resource.h")

# QKSONNERIX.EXE: a GUI program that imports only KERNEL32, USER32, GDI32, COMCTL32, WINMM and
# msvcrt; the C++ and GCC runtimes are linked in.
add_executable(qksonnerix WIN32 ${QK_WINDOWS_SOURCES} ${QK_RC})
target_include_directories(qksonnerix PRIVATE ${CMAKE_SOURCE_DIR})
target_compile_options(qksonnerix PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti -Werror>)
# windres: the generated icons, and the SDK's headers for #include <windows.h>.
target_include_directories(qksonnerix PRIVATE $<$<COMPILE_LANGUAGE:RC>:${QK_RC_INCLUDE_DIR}>)
set(CMAKE_CXX_STANDARD_LIBRARIES "")
target_link_options(qksonnerix PRIVATE -mwindows -static -static-libgcc -static-libstdc++
  $<$<CONFIG:Release,MinSizeRel>:-s>)
target_link_libraries(qksonnerix PRIVATE user32 gdi32 comctl32 winmm kernel32)

# The conformance probes as Windows console programs (tests/conformance/run.sh runs them on Wine).
include(${CMAKE_SOURCE_DIR}/tests/conformance/probes.cmake)

enable_testing()
# The imports: nothing but the system's own DLLs and msvcrt.
find_program(QK_OBJDUMP NAMES ${QK_MINGW_TRIPLET}-objdump objdump)
add_test(NAME windows_imports_only_system_dlls
  COMMAND ${CMAKE_COMMAND} -DEXE=$<TARGET_FILE:qksonnerix> -DOBJDUMP=${QK_OBJDUMP}
          -P ${CMAKE_SOURCE_DIR}/cmake/check_imports.cmake)

# The end-to-end scenarios on Wine, for the 64-bit executable (the machines that run the tests
# cannot run 32-bit programs). A missing Wine, Xvfb or xdotool fails the run: scripts/setup.sh
# installs them.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  add_test(NAME wine_end_to_end
    COMMAND ${CMAKE_COMMAND} -E env QK_WINDRES=${CMAKE_RC_COMPILER}
            bash ${CMAKE_SOURCE_DIR}/tests/wine/run.sh $<TARGET_FILE:qksonnerix>)
  set_tests_properties(wine_end_to_end PROPERTIES TIMEOUT 300)
endif()
