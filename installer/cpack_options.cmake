# Read by cpack before it makes each package (CPACK_PROJECT_CONFIG_FILE).
#
# Reproducible packages: every time stamp in them (the files' dates in the
# zip and in the installer, and the installer's own header) is the time of
# the sources' last commit, or SOURCE_DATE_EPOCH when the environment sets
# it. CPack's zip writer and makensis both read SOURCE_DATE_EPOCH, and the
# staged files are dated with it (stamp_staging.cmake).
if(NOT DEFINED ENV{SOURCE_DATE_EPOCH})
  execute_process(
    COMMAND git -C "${CPACK_DISCORA_SOURCE_DIR}" log -1 --format=%ct
    OUTPUT_VARIABLE commit_time OUTPUT_STRIP_TRAILING_WHITESPACE
    RESULT_VARIABLE git_result ERROR_QUIET)
  if(git_result EQUAL 0 AND commit_time MATCHES "^[0-9]+$")
    set(ENV{SOURCE_DATE_EPOCH} "${commit_time}")
  else()
    message(WARNING "The sources are not a Git checkout and SOURCE_DATE_EPOCH is not set: "
      "the packages carry today's date and differ from one build to the next.")
  endif()
endif()
