# The Windows program Tavro.exe: the dialog front end (app/gui_*_win32.cpp,
# settings/gui_*_win32.cpp) and its resources, on top of the portable core.
# Included by the top CMakeLists.txt when building for Windows.

file(GLOB tavro_gui_sources CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/app/gui_*_win32.cpp
  ${CMAKE_SOURCE_DIR}/settings/gui_*_win32.cpp)
set(tavro_rc ${CMAKE_SOURCE_DIR}/res/tavro.rc)

if(NOT tavro_gui_sources)
  message(STATUS "Tavro.exe: no app/gui_*_win32.cpp yet, program not built")
  return()
endif()

add_executable(Tavro WIN32 ${tavro_gui_sources} ${tavro_rc})
set_target_properties(Tavro PROPERTIES OUTPUT_NAME Tavro)
target_include_directories(Tavro PRIVATE ${CMAKE_SOURCE_DIR}/res)
target_link_libraries(Tavro PRIVATE tavro_core
  comctl32 shell32 ole32 uuid advapi32 version gdi32 comdlg32)
# uxtheme.dll and psapi.dll are loaded by name at run time (the option tree),
# so the program starts where they are missing: never link them.

# windres gets only definitions and include paths; the C/C++ warning flags of the
# directory are kept away from it.
get_target_property(tavro_opts Tavro COMPILE_OPTIONS)
if(tavro_opts)
  set_target_properties(Tavro PROPERTIES COMPILE_OPTIONS "$<$<COMPILE_LANGUAGE:C,CXX>:${tavro_opts}>")
endif()
set_source_files_properties(${tavro_rc} PROPERTIES COMPILE_DEFINITIONS
  "TAVRO_VERSION_MAJOR=${TAVRO_VERSION_MAJOR};TAVRO_VERSION_MINOR=${TAVRO_VERSION_MINOR};TAVRO_VERSION_PATCH=${TAVRO_VERSION_PATCH}")
# windres reports no dependencies: rebuild the resources when anything in res/ changes.
file(GLOB tavro_res_files CONFIGURE_DEPENDS
  ${CMAKE_SOURCE_DIR}/res/*.h ${CMAKE_SOURCE_DIR}/res/*.rc
  ${CMAKE_SOURCE_DIR}/res/*.ico ${CMAKE_SOURCE_DIR}/res/*.manifest)
set_source_files_properties(${tavro_rc} PROPERTIES OBJECT_DEPENDS "${tavro_res_files}")

# Packaging hook: a later cmake/windows_package.cmake (e.g. a `zip` target holding
# Tavro.exe and the language files) is picked up here.
include(${CMAKE_CURRENT_LIST_DIR}/windows_package.cmake OPTIONAL)
