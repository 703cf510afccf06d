# Copies the example machine into a prefix, leaving every file that is already there alone,
# so that what a run or the emulated PowerPoint wrote survives a rebuild.
file(GLOB_RECURSE files RELATIVE "${SOURCE}" "${SOURCE}/*")
foreach(file IN LISTS files)
  if(NOT EXISTS "${DESTINATION}/${file}")
    get_filename_component(dir "${DESTINATION}/${file}" DIRECTORY)
    file(MAKE_DIRECTORY "${dir}")
    file(COPY_FILE "${SOURCE}/${file}" "${DESTINATION}/${file}")
  endif()
endforeach()
