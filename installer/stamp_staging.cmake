# Run by cpack once the files to package are staged, before it packs them
# (CPACK_PRE_BUILD_SCRIPTS). The installer stores the date of each file it
# carries, so each staged file and folder is dated SOURCE_DATE_EPOCH
# (cpack_options.cmake), and so is a copy of the welcome and finish pages'
# picture beside the staging folder, which the installer script takes.
if(NOT CPACK_DISCORA_PYTHON)
  message(FATAL_ERROR "The packages need Python 3, which the build did not find: "
    "it makes the installer's picture and writes the zips.")
endif()
file(COPY_FILE "${CPACK_DISCORA_WIZARD_ART}" "${CPACK_TOPLEVEL_DIRECTORY}/wizard.bmp")
# GNU touch sets a given date (Debian's coreutils; on Windows, Git's).
find_program(DISCORA_TOUCH touch)
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT DISCORA_TOUCH)
  message(WARNING "No touch command: the installer carries the files' own dates "
    "and differs from one build to the next.")
elseif(DEFINED ENV{SOURCE_DATE_EPOCH})
  file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
  execute_process(COMMAND "${DISCORA_TOUCH}" -h -d "@$ENV{SOURCE_DATE_EPOCH}" ${staged}
    "${CPACK_TEMPORARY_DIRECTORY}" "${CPACK_TOPLEVEL_DIRECTORY}/wizard.bmp"
    COMMAND_ERROR_IS_FATAL ANY)
endif()
