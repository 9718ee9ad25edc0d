# Run by cpack after it made a package (CPACK_POST_BUILD_SCRIPTS), for the
# installer and again for the zip. Beside the packages, in the package
# folder both builds (x86 and x64) share, it writes what a download folder
# offers besides them:
#
#   SHA256SUMS      the packages' SHA-256, as `sha256sum -c SHA256SUMS` reads it
#   discora.json    the Scoop manifest: the zips
#   winget/manifests/d/Discora/Discora/<version>/
#                   the winget manifest set: the installers
#
# Each lists the packages of this version that are in the folder, so once
# both builds are packaged they name both architectures. Their addresses
# are the download folder (DISCORA_DOWNLOAD_URL) followed by the file name.

set(version "${CPACK_PACKAGE_VERSION}")
set(folder "${CPACK_OUTPUT_FILE_PREFIX}")
set(download "${CPACK_DISCORA_DOWNLOAD_URL}")
if(NOT download MATCHES "/$")
  string(APPEND download "/")
endif()
set(winget_id "${CPACK_DISCORA_WINGET_ID}")
set(manifest_version 1.6.0)
set(generated "# Written by Discora's build from the packages it made; do not edit.")
# The release date is the sources' date (cpack_options.cmake), which
# string(TIMESTAMP) takes from SOURCE_DATE_EPOCH.
string(TIMESTAMP release_date "%Y-%m-%d" UTC)

# The zip cpack has just made: its members in name order, without the
# file system's order or owners (normalize_zip.py), before it is hashed and
# copied to the package folder.
if(DEFINED ENV{SOURCE_DATE_EPOCH})
  foreach(made IN LISTS CPACK_PACKAGE_FILES)
    if(made MATCHES "\\.zip$")
      execute_process(
        COMMAND "${CPACK_DISCORA_PYTHON}" "${CMAKE_CURRENT_LIST_DIR}/normalize_zip.py" "${made}"
        COMMAND_ERROR_IS_FATAL ANY)
    endif()
  endforeach()
endif()

# A package of this version: the one cpack has just made is still in its own
# folder; the others are in the package folder, when they were made.
function(package_file name out)
  foreach(made IN LISTS CPACK_PACKAGE_FILES)
    get_filename_component(made_name "${made}" NAME)
    if(made_name STREQUAL name)
      set(${out} "${made}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  if(EXISTS "${folder}/${name}")
    set(${out} "${folder}/${name}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# A text as a YAML single-quoted scalar, and as a JSON string.
function(yaml_text text out)
  string(REPLACE "'" "''" text "${text}")
  set(${out} "'${text}'" PARENT_SCOPE)
endfunction()
function(json_text text out)
  string(REPLACE "\\" "\\\\" text "${text}")
  string(REPLACE "\"" "\\\"" text "${text}")
  set(${out} "\"${text}\"" PARENT_SCOPE)
endfunction()

set(sums "")
set(winget_installers "")
set(scoop_architectures "")
# x86 first: its packages' names come first.
foreach(arch x86 x64)
  set(suffix "${CPACK_DISCORA_SUFFIX_${arch}}")
  if(arch STREQUAL "x64")
    set(scoop_arch 64bit)
  else()
    set(scoop_arch 32bit)
  endif()
  set(stem "${CPACK_PACKAGE_NAME}-${version}-${suffix}")

  package_file("${stem}.exe" installer)
  if(installer)
    file(SHA256 "${installer}" hash)
    string(TOUPPER "${hash}" hash_upper)
    string(APPEND winget_installers
      "  - Architecture: ${arch}\n"
      "    InstallerUrl: ${download}${stem}.exe\n"
      "    InstallerSha256: ${hash_upper}\n")
    string(APPEND sums "${hash}  ${stem}.exe\n")
  endif()

  package_file("${stem}.zip" archive)
  if(archive)
    file(SHA256 "${archive}" hash)
    if(NOT scoop_architectures STREQUAL "")
      string(APPEND scoop_architectures ",\n")
    endif()
    # The zip holds one folder named as the zip, with Discora.exe in it.
    string(APPEND scoop_architectures
      "    \"${scoop_arch}\": {\n"
      "      \"url\": \"${download}${stem}.zip\",\n"
      "      \"hash\": \"${hash}\",\n"
      "      \"extract_dir\": \"${stem}\"\n"
      "    }")
    string(APPEND sums "${hash}  ${stem}.zip\n")
  endif()
endforeach()

file(WRITE "${folder}/SHA256SUMS" "${sums}")

yaml_text("${CPACK_PACKAGE_VENDOR}" publisher)
yaml_text("${CPACK_DISCORA_COPYRIGHT}" copyright)
yaml_text("${CPACK_DISCORA_SUMMARY}" summary)
yaml_text("${CPACK_DISCORA_LICENSE}" license)

if(NOT winget_installers STREQUAL "")
  string(REPLACE "." ";" id_parts "${winget_id}")
  list(GET id_parts 0 id_publisher)
  list(GET id_parts 1 id_package)
  string(SUBSTRING "${id_publisher}" 0 1 initial)
  string(TOLOWER "${initial}" initial)
  set(winget "${folder}/winget/manifests/${initial}/${id_publisher}/${id_package}/${version}")
  set(schema "# yaml-language-server: $schema=https://aka.ms/winget-manifest")
  set(head "PackageIdentifier: ${winget_id}\nPackageVersion: ${version}\n")
  set(tail "ManifestVersion: ${manifest_version}\n")

  file(WRITE "${winget}/${winget_id}.yaml"
    "${generated}\n${schema}.version.${manifest_version}.schema.json\n\n${head}"
    "DefaultLocale: en-US\n"
    "ManifestType: version\n${tail}")

  # The installers are NSIS ones, for all users, and ask for administrator
  # rights themselves. They keep their entry in the list of programs under
  # the key "Discora", with the whole version as its DisplayVersion.
  file(WRITE "${winget}/${winget_id}.installer.yaml"
    "${generated}\n${schema}.installer.${manifest_version}.schema.json\n\n${head}"
    "InstallerType: nullsoft\n"
    "Scope: machine\n"
    "InstallModes:\n  - interactive\n  - silent\n  - silentWithProgress\n"
    "InstallerSwitches:\n"
    "  Silent: /S\n"
    "  SilentWithProgress: /S\n"
    "  InstallLocation: /D=<INSTALLPATH>\n"
    "ElevationRequirement: elevatesSelf\n"
    "UpgradeBehavior: install\n"
    "ProductCode: ${CPACK_DISCORA_UNINSTALL_KEY}\n"
    "ReleaseDate: ${release_date}\n"
    "AppsAndFeaturesEntries:\n"
    "  - DisplayName: ${CPACK_PACKAGE_NAME}\n"
    "    Publisher: ${publisher}\n"
    "    DisplayVersion: ${version}\n"
    "    ProductCode: ${CPACK_DISCORA_UNINSTALL_KEY}\n"
    "Installers:\n${winget_installers}"
    "ManifestType: installer\n${tail}")

  file(WRITE "${winget}/${winget_id}.locale.en-US.yaml"
    "${generated}\n${schema}.defaultLocale.${manifest_version}.schema.json\n\n${head}"
    "PackageLocale: en-US\n"
    "Publisher: ${publisher}\n"
    "PublisherUrl: ${CPACK_DISCORA_HOMEPAGE}\n"
    "PackageName: ${CPACK_PACKAGE_NAME}\n"
    "PackageUrl: ${CPACK_DISCORA_HOMEPAGE}\n"
    "License: ${license}\n"
    "Copyright: ${copyright}\n"
    "ShortDescription: ${summary}\n"
    "Moniker: discora\n"
    "Tags:\n  - playstation\n  - emulator\n  - cd-rom\n  - tray\n"
    "ManifestType: defaultLocale\n${tail}")
endif()

if(NOT scoop_architectures STREQUAL "")
  json_text("${CPACK_DISCORA_SUMMARY}" summary)
  json_text("${CPACK_DISCORA_LICENSE}" license)
  file(WRITE "${folder}/discora.json"
    "{\n"
    "  \"version\": \"${version}\",\n"
    "  \"description\": ${summary},\n"
    "  \"homepage\": \"${CPACK_DISCORA_HOMEPAGE}\",\n"
    "  \"license\": ${license},\n"
    "  \"architecture\": {\n${scoop_architectures}\n  },\n"
    "  \"bin\": \"Discora.exe\",\n"
    "  \"shortcuts\": [\n    [\"Discora.exe\", \"${CPACK_PACKAGE_NAME}\"]\n  ]\n"
    "}\n")
endif()
