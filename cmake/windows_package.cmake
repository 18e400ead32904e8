# Packaging: `cmake --build <dir> --target zip` makes Tavro-<version>.zip with
# Tavro.exe, the language files and the read-me. <version> is the title's
# version string (product version 1.8.1 gives 1.81).
set(tavro_zip_version "${TAVRO_VERSION_MAJOR}.${TAVRO_VERSION_MINOR}${TAVRO_VERSION_PATCH}")
set(tavro_zip_name "Tavro-${tavro_zip_version}.zip")
set(tavro_zip_stage ${CMAKE_BINARY_DIR}/zip-stage)

# The complete language files shipped beside the program.
file(GLOB tavro_zip_languages CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/dist/*.zen)
set(tavro_zip_readme ${CMAKE_SOURCE_DIR}/dist/README.txt)

set(tavro_zip_files Tavro.exe README.txt)
foreach(f ${tavro_zip_languages})
  get_filename_component(n ${f} NAME)
  list(APPEND tavro_zip_files ${n})
endforeach()

add_custom_command(
  OUTPUT ${CMAKE_BINARY_DIR}/${tavro_zip_name}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${tavro_zip_stage}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${tavro_zip_stage}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:Tavro> ${tavro_zip_stage}/Tavro.exe
  COMMAND ${CMAKE_COMMAND} -E copy ${tavro_zip_readme} ${tavro_zip_languages} ${tavro_zip_stage}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${CMAKE_BINARY_DIR}/${tavro_zip_name}
  COMMAND ${CMAKE_COMMAND} -E chdir ${tavro_zip_stage}
          ${CMAKE_COMMAND} -E tar cf ${CMAKE_BINARY_DIR}/${tavro_zip_name} --format=zip ${tavro_zip_files}
  DEPENDS Tavro ${tavro_zip_readme} ${tavro_zip_languages}
  COMMENT "Packing ${tavro_zip_name}"
  VERBATIM)
add_custom_target(zip DEPENDS ${CMAKE_BINARY_DIR}/${tavro_zip_name})
