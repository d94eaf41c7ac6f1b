# The Debian package (cpack -G DEB, see scripts/package.sh): the installed
# tree under /usr, with the shared-library dependencies derived by
# dpkg-shlibdeps from the programs themselves, so they match the build system's
# Qt, OpenSSL and GLib.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessel)
set(CPACK_PACKAGE_VERSION ${TESSEL_VERSION})
set(CPACK_PACKAGE_VENDOR "Tessel")
set(CPACK_PACKAGE_CONTACT "Tessel developers <tessel@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "viewer for mail message files and their S/MIME content")
# CPack puts the summary first and indents these lines as the control file wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Tessel shows the MIME structure of a mail message file (.eml) as a tree or
as nested boxes and, for each part, its header, raw and decoded content.
Signed S/MIME messages are verified and encrypted ones decrypted with the
user's own certificate and key; PKCS #7 parts show their certificates,
signers, recipients, signed attributes and ASN.1 tree.

Command-line tools list parts, print headers, extract content and print
ASN.1 trees without a display.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not libraries, so not found by dpkg-shlibdeps: the content-type database
# the viewer reads; the fallback that opens a part with its program.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "shared-mime-info")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
