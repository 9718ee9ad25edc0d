# The Windows packages, made by `cmake --build --preset windows-release
# --target package` (x86) or `--preset windows-x64-release` (x64): an NSIS
# installer and a portable zip, named -win32 or -win64 after the build.
#
# The installer script is our own (NSIS.template.in beside this file, found
# through CMAKE_MODULE_PATH in place of CPack's default). It installs
# Discora.exe alone; the zip holds Discora.exe, the README and the licence.

# The program's identity comes from the headers the program itself is built
# from, so the installer cannot disagree with it.
function(discora_header_text header name out)
  file(STRINGS "${header}" line REGEX "^#define ${name} ")
  string(REGEX REPLACE "^#define ${name} +\"?([^\"]*)\"?.*$" "\\1" value "${line}")
  if(value STREQUAL "")
    message(FATAL_ERROR "${name} is not defined in ${header}")
  endif()
  set(${out} "${value}" PARENT_SCOPE)
endfunction()

set(version_h "${PROJECT_SOURCE_DIR}/res/version.h")
discora_header_text("${version_h}" DISCORA_TITLE discora_title)
discora_header_text("${version_h}" DISCORA_AUTHOR discora_author)
discora_header_text("${version_h}" DISCORA_COPYRIGHT discora_copyright)
discora_header_text("${version_h}" DISCORA_HOMEPAGE discora_homepage)
discora_header_text("${PROJECT_SOURCE_DIR}/res/resource.h" DISCORA_WINDOW_CLASS discora_class)

install(TARGETS Discora RUNTIME DESTINATION .)
install(FILES README.md DESTINATION .)
install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_GENERATOR NSIS ZIP)
set(CPACK_PACKAGE_NAME "${discora_title}")
set(CPACK_PACKAGE_VENDOR "${discora_author}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
# DISCORA_X64 is set by CMakeLists.txt from the compiler's pointer size.
if(DISCORA_X64)
  set(discora_arch x64)
  set(discora_package_suffix win64)
else()
  set(discora_arch x86)
  set(discora_package_suffix win32)
endif()
set(CPACK_PACKAGE_FILE_NAME "${discora_title}-${PROJECT_VERSION}-${discora_package_suffix}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")

# Read by the installer script as @CPACK_DISCORA_...@.
set(CPACK_DISCORA_COPYRIGHT "${discora_copyright}")
set(CPACK_DISCORA_HOMEPAGE "${discora_homepage}")
set(CPACK_DISCORA_WINDOW_CLASS "${discora_class}")
set(CPACK_DISCORA_ICON "${PROJECT_SOURCE_DIR}/res/discora.ico")
# x86 or x64: which build the installer carries, and so which kind of
# installer it is and which registry view and Program Files it uses.
set(CPACK_DISCORA_ARCH "${discora_arch}")

list(PREPEND CMAKE_MODULE_PATH "${CMAKE_CURRENT_LIST_DIR}")
include(CPack)
