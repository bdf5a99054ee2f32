# Installing and packing pomorina.
#
# The program reads 設定.ini and writes Image.bmp in the folder of its
# executable, so an installation is one flat folder that can be moved as a
# whole: no bin/ and share/ split. Nothing from tests/ or bench/ is installed.
#
#   cmake --install build --prefix ~/pomorina   # the folder itself
#   cpack --config build/CPackConfig.cmake      # pomorina-1.0-Linux.tar.gz
#
# Qt is not copied into the folder: on Linux the system's Qt 6 is used. On
# Windows, run windeployqt on the installed pomorina.exe (see README.md).
# Qt 6.4's qt_generate_deploy_app_script is a technical preview that has no
# Linux support and looks for the executable under bin/, so it is not used.

# Without --prefix the folder goes into the build tree (build/pomorina-1.0/):
# the usual defaults, /usr/local and C:/Program Files, would scatter it among
# other programs' files or put it where the program cannot write its settings.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT)
    set(CMAKE_INSTALL_PREFIX "${PROJECT_BINARY_DIR}/pomorina-${PROJECT_VERSION}"
        CACHE PATH "The folder pomorina is installed into" FORCE)
endif()

install(TARGETS pomorina RUNTIME DESTINATION .)
# The default settings, byte for byte (CR LF line ends).
install(FILES ${PROJECT_SOURCE_DIR}/data/設定.ini DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/data/pomorina.svg ${PROJECT_SOURCE_DIR}/data/pomorina.png
        DESTINATION .)
if(NOT WIN32)
    # File managers only start a desktop entry outside the system folders
    # when it is marked executable.
    install(FILES ${PROJECT_SOURCE_DIR}/data/pomorina.desktop DESTINATION .
            PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                        WORLD_READ WORLD_EXECUTE)
endif()

set(CPACK_PACKAGE_NAME pomorina)
set(CPACK_PACKAGE_VENDOR pomorina)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "A small clipboard viewer with a Japanese user interface")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# pomorina-1.0-Linux.tar.gz, unpacking into pomorina-1.0-Linux/.
if(WIN32)
    set(CPACK_GENERATOR ZIP)
else()
    set(CPACK_GENERATOR TGZ)
endif()
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
# A source archive (make package_source) leaves out the build folders.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_SOURCE_IGNORE_FILES "/\\.git/" "/build[^/]*/" "/out/" "__pycache__")
include(CPack)
