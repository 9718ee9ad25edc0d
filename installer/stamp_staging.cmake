# Run by cpack once the files to package are staged, before it packs them
# (CPACK_PRE_BUILD_SCRIPTS): each staged file and folder is dated
# SOURCE_DATE_EPOCH (cpack_options.cmake), since the installer stores the
# dates of the files it carries.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  file(GLOB_RECURSE staged LIST_DIRECTORIES true "${CPACK_TEMPORARY_DIRECTORY}/*")
  execute_process(COMMAND touch -h -d "@$ENV{SOURCE_DATE_EPOCH}" ${staged}
    "${CPACK_TEMPORARY_DIRECTORY}" COMMAND_ERROR_IS_FATAL ANY)
endif()
