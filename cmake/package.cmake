# The Debian package: cpack -G DEB in the build directory (or scripts/package.sh) makes
# drivedesk_VERSION_ARCH.deb with the three programs, the desktop entry and icon, and the
# udev rule for the USB latency timer; dpkg-shlibdeps computes the dependencies.
install(TARGETS drivedesk drivectl drivesim RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/drivedesk.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/drivedesk.svg
        DESTINATION share/icons/hicolor/scalable/apps)
# udev reads /lib/udev/rules.d whatever the prefix.
install(FILES ${PROJECT_SOURCE_DIR}/packaging/60-drivedesk-latency.rules
        DESTINATION /lib/udev/rules.d)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME drivedesk)
set(CPACK_PACKAGE_VENDOR DriveDesk)
set(CPACK_PACKAGE_CONTACT "DriveDesk maintainers <drivedesk@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "set up, test and watch a closed-loop stepper drive over RS-485")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so dpkg-shlibdeps cannot see it: Qt's X11 and Wayland platform plugins.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-zenhei")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
