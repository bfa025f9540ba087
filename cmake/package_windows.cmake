# The Windows packages of the cross build (cpack in build-win, scripts/test.sh):
# DriveDesk-VERSION-win64.exe, an NSIS installer (Debian's makensis) with the programs,
# the README as text, a Start-menu entry and an uninstaller; and DriveDesk-VERSION-win64.zip
# with the same files for technicians who may not install anything.
set(windows_programs drivectl)
if(TARGET drivedesk)
  list(PREPEND windows_programs drivedesk)
  set(CPACK_PACKAGE_EXECUTABLES drivedesk DriveDesk)
else()
  # Until the window exists the menu entry opens the command-line tool's help.
  set(CPACK_PACKAGE_EXECUTABLES drivectl DriveDesk)
endif()
install(TARGETS ${windows_programs} RUNTIME DESTINATION .)
# Notepad reads the README; CRLF line ends for older Windows.
file(READ ${PROJECT_SOURCE_DIR}/README.md readme)
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${PROJECT_BINARY_DIR}/packaging/README.txt "${readme}")
install(FILES ${PROJECT_BINARY_DIR}/packaging/README.txt DESTINATION .)

set(CPACK_GENERATOR NSIS64 ZIP)
set(CPACK_PACKAGE_NAME DriveDesk)
set(CPACK_PACKAGE_VENDOR DriveDesk)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up, test and watch a closed-loop stepper drive over RS-485")
set(CPACK_PACKAGE_FILE_NAME DriveDesk-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY DriveDesk)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY DriveDesk)
set(CPACK_STRIP_FILES ON)
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME DriveDesk)
set(CPACK_NSIS_DISPLAY_NAME DriveDesk)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)
set(CPACK_NSIS_MENU_LINKS README.txt README)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
# A 64-bit installer: Wine's 64-bit prefix of the tests (and a 64-bit Windows) run it
# without the 32-bit subsystem.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
include(CPack)
