# The Windows packages, made by `cmake --build --preset windows-release
# --target package` (x86) or `--preset windows-x64-release` (x64): an NSIS
# installer and a portable zip, named -win32 or -win64 after the build. Both
# builds put them into one folder (DISCORA_PACKAGE_DIR), with SHA256SUMS and
# the winget and Scoop manifests (release_files.cmake), so that the folder
# is what the download folder offers.
#
# The packages are reproducible: one commit makes the same bytes wherever and
# whenever it is built (cpack_options.cmake, stamp_staging.cmake, and the
# compiler and linker options in CMakeLists.txt); scripts/reproduce.sh
# proves it.
#
# The installer script is our own (NSIS.template.in beside this file, found
# through CMAKE_MODULE_PATH in place of CPack's default). It installs
# Discora.exe alone; the zip holds Discora.exe, the README and the licence.

# The program's identity comes from the headers the program itself is built
# from (discora_header_text, cmake/header_text.cmake), so the installer cannot
# disagree with it.
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
else()
  set(discora_arch x86)
endif()
# The packages' names end in -win32 (x86) or -win64 (x64); release_files.cmake
# names both builds' packages by the same rule.
set(CPACK_DISCORA_SUFFIX_x86 win32)
set(CPACK_DISCORA_SUFFIX_x64 win64)
set(CPACK_PACKAGE_FILE_NAME
  "${discora_title}-${PROJECT_VERSION}-${CPACK_DISCORA_SUFFIX_${discora_arch}}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")

set(DISCORA_PACKAGE_DIR "${PROJECT_SOURCE_DIR}/build/packages" CACHE PATH
  "The folder both builds put their packages, SHA256SUMS and the manifests in")
set(DISCORA_DOWNLOAD_URL "${discora_homepage}download/" CACHE STRING
  "The download folder the packages are published in, as the manifests name it")
set(CPACK_OUTPUT_FILE_PREFIX "${DISCORA_PACKAGE_DIR}")
set(CPACK_PROJECT_CONFIG_FILE "${CMAKE_CURRENT_LIST_DIR}/cpack_options.cmake")
set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/stamp_staging.cmake")
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/release_files.cmake")

# Read by the installer script as @CPACK_DISCORA_...@.
set(CPACK_DISCORA_COPYRIGHT "${discora_copyright}")
set(CPACK_DISCORA_HOMEPAGE "${discora_homepage}")
set(CPACK_DISCORA_WINDOW_CLASS "${discora_class}")
set(CPACK_DISCORA_ICON "${PROJECT_SOURCE_DIR}/res/discora.ico")

# Python makes the installer's picture and writes the zips: Discora.exe
# builds without it, its packages need it (checked when they are made,
# stamp_staging.cmake). Debian's own Python where there is one (the set-up
# installs it): another python3 may come first on the PATH, and the version
# of the zlib Python writes the zips with decides their bytes.
if(NOT DEFINED Python3_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python3_EXECUTABLE /usr/bin/python3 CACHE FILEPATH
    "The Python that makes the installer's picture and writes the zips")
endif()
find_package(Python3 COMPONENTS Interpreter)
set(CPACK_DISCORA_PYTHON "")
# The picture of the installer's welcome and finish pages, made from the icon.
set(CPACK_DISCORA_WIZARD_ART "${CMAKE_BINARY_DIR}/res/wizard.bmp")
if(Python3_Interpreter_FOUND)
  set(CPACK_DISCORA_PYTHON "${Python3_EXECUTABLE}")
  add_custom_command(OUTPUT "${CPACK_DISCORA_WIZARD_ART}"
    COMMAND Python3::Interpreter "${PROJECT_SOURCE_DIR}/res/make_wizard_art.py"
      "${CPACK_DISCORA_ICON}" "${CPACK_DISCORA_WIZARD_ART}"
    DEPENDS "${PROJECT_SOURCE_DIR}/res/make_wizard_art.py" "${CPACK_DISCORA_ICON}"
    COMMENT "Making the installer's picture from the icon")
  add_custom_target(discora_installer_art ALL DEPENDS "${CPACK_DISCORA_WIZARD_ART}")
endif()
# The name of the installer's key in the list of installed programs.
set(CPACK_DISCORA_UNINSTALL_KEY "${discora_title}")
# For the manifests (release_files.cmake).
set(CPACK_DISCORA_SOURCE_DIR "${PROJECT_SOURCE_DIR}")
set(CPACK_DISCORA_DOWNLOAD_URL "${DISCORA_DOWNLOAD_URL}")
set(CPACK_DISCORA_WINGET_ID "${discora_title}.${discora_title}")
set(CPACK_DISCORA_SUMMARY
  "Starts your PlayStation emulator when a game disc goes in: a small tray agent")
# The licence's name, as its first line gives it ("MIT License": MIT).
file(STRINGS "${PROJECT_SOURCE_DIR}/LICENSE" licence_line LIMIT_COUNT 1)
string(REGEX REPLACE " License$" "" CPACK_DISCORA_LICENSE "${licence_line}")
# x86 or x64: which build the installer carries, and so which kind of
# installer it is and which registry view and Program Files it uses.
set(CPACK_DISCORA_ARCH "${discora_arch}")

list(PREPEND CMAKE_MODULE_PATH "${CMAKE_CURRENT_LIST_DIR}")
include(CPack)
