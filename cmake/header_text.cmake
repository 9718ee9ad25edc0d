# Reads a #define of a C header: its text without quotes ("Discora") or its
# number. The program's identity and version are defined once, in the
# headers the program itself is built from, and the build reads them there.
function(discora_header_text header name out)
  file(STRINGS "${header}" line REGEX "^#define ${name} ")
  string(REGEX REPLACE "^#define ${name} +\"?([^\"]*)\"?.*$" "\\1" value "${line}")
  if(value STREQUAL "")
    message(FATAL_ERROR "${name} is not defined in ${header}")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()
