# The Debian package, made by `cpack -G DEB` in the build folder: vennrick_<version>_amd64.deb, installing
# what cmake/Install.cmake installs under /usr. Its dependencies are the packages of the shared libraries
# the binary links (dpkg-shlibdeps; Qt's off-screen platform and JPEG plug-ins come with libqt6gui6) and
# the fonts the figures are drawn in: DejaVu Sans for tick labels, Carlito for Calibri.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vennrick)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Vennrick developers <vennrick@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Manhattan and QQ plots of genome-wide association results")
set(CPACK_PACKAGE_DESCRIPTION
    "Vennrick reads a large table of GWAS results (plain or compressed) and writes the hits and a\n Manhattan plot, optionally a QQ plot and figures for a paper (PNG, PDF, SVG).")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-crosextra-carlito, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
