# Run by cpack once the files to package are staged, before it packs them
# (CPACK_PRE_BUILD_SCRIPTS). The installer stores the date of each file it
# carries, so each staged file and folder is dated SOURCE_DATE_EPOCH
# (cpack_options.cmake), and so is a copy of the welcome and finish pages'
# picture beside the staging folder, which the installer script takes.
file(COPY_FILE "${CPACK_DISCORA_WIZARD_ART}" "${CPACK_TOPLEVEL_DIRECTORY}/wizard.bmp")
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
  execute_process(COMMAND touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" ${staged}
    "${CPACK_TEMPORARY_DIRECTORY}" "${CPACK_TOPLEVEL_DIRECTORY}/wizard.bmp"
    COMMAND_ERROR_IS_FATAL ANY)
endif()
