# Prints the import table of the executable EXE (every DLL and every function taken from it)
# and fails unless it imports exactly the system's own DLLs and msvcrt: KERNEL32, USER32,
# GDI32, COMCTL32, WINMM and MSVCRT, each at least one function, nothing else.
#   cmake -DEXE=<file.exe> -DOBJDUMP=<objdump> -P check_imports.cmake
#
# MSVCRT.DLL is not part of the first Windows 95 release (it is the C runtime of 1996's
# compilers, installed with later updates and programs); README.md says so.
cmake_minimum_required(VERSION 3.24)
set(expected COMCTL32.DLL GDI32.DLL KERNEL32.DLL MSVCRT.DLL USER32.DLL WINMM.DLL)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed")
endif()

# objdump -p: "DLL Name: X", then a header line "vma: Hint/Ord Member-Name Bound-To" and one
# line "<vma> <hint> <name>" per function, up to a blank line.
string(REPLACE ";" "\\;" dump "${dump}")
string(REPLACE "\n" ";" lines "${dump}")
set(dll "")
set(found "")
set(table "")
foreach(line IN LISTS lines)
  if(line MATCHES "DLL Name: *([^ ]+)")
    string(TOUPPER "${CMAKE_MATCH_1}" dll)
    list(APPEND found ${dll})
    set(count_${dll} 0)
    string(APPEND table "${dll}\n")
  elseif(dll AND line MATCHES "^[ \t]*[0-9a-fA-F]+[ \t]+([0-9]+)[ \t]+([A-Za-z_][A-Za-z0-9_@?$]*)")
    math(EXPR count_${dll} "${count_${dll}} + 1")
    string(APPEND table "  ${CMAKE_MATCH_2}\n")
  elseif(line STREQUAL "")
    set(dll "")
  endif()
endforeach()
message(STATUS "import table of ${EXE}:\n${table}")

if(NOT found)
  message(FATAL_ERROR "${EXE}: no imports found")
endif()
set(sorted ${found})
list(REMOVE_DUPLICATES sorted)
list(SORT sorted)
if(NOT sorted STREQUAL expected)
  message(FATAL_ERROR "${EXE} imports ${sorted}; expected exactly ${expected}")
endif()
foreach(dll IN LISTS expected)
  if(NOT count_${dll} GREATER 0)
    message(FATAL_ERROR "${EXE}: no function read from ${dll}")
  endif()
endforeach()
message(STATUS "imports exactly ${expected}")
