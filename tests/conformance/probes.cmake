# The conformance probes, built for the stand-in (headless driver) and, in a MinGW build, as
# Windows console programs. Each lands in <build>/conformance/<name>[.exe];
# tests/conformance/run.sh runs both sets and compares them.
#
# Included from CMakeLists.txt (stand-in) and from cmake/windows.cmake (MinGW).
set(QK_PROBES profile files controls windows dialogs text sound)
# The probes that open the program's "NTFS" dialog take its resource script (the stand-in
# has it compiled in).
set(QK_PROBES_WITH_RESOURCES dialogs text)
foreach(probe IN LISTS QK_PROBES)
  set(target qk_probe_${probe})
  set(sources ${CMAKE_SOURCE_DIR}/tests/conformance/${probe}.cpp)
  if(WIN32 AND probe IN_LIST QK_PROBES_WITH_RESOURCES)
    list(APPEND sources ${QK_RC})
  endif()
  add_executable(${target} ${sources})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  set_target_properties(${target} PROPERTIES OUTPUT_NAME ${probe}
                        RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/conformance)
  if(WIN32)
    target_include_directories(${target} PRIVATE $<$<COMPILE_LANGUAGE:RC>:${QK_RC_INCLUDE_DIR}>)
    target_link_options(${target} PRIVATE -mconsole -static -static-libgcc -static-libstdc++)
    target_link_libraries(${target} PRIVATE user32 gdi32 comctl32 winmm kernel32)
  else()
    target_link_libraries(${target} PRIVATE "$<LINK_GROUP:RESCAN,qk_platform,qk_driver_headless,qk_audio_none>")
  endif()
endforeach()
