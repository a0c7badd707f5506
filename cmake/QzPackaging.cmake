# Debian packages from this build (CPack's DEB generator), one per install component:
#   libqzrt1     component runtime  the shared library (soname libqzrt.so.1)
#   libqzrt-dev  component dev      headers, static library, .so link, pkg-config file, CMake package
#   hwendle      component program  /usr/lib/cgi-bin/hwendle.exe, /etc/hwendle/qzcfg.ini, the
#                                   lighttpd snippet, the manual pages
# The files Debian wants beside them (copyright, changelog.Debian.gz, gzipped manual pages,
# /etc and /var) are installed for the packages only (EXCLUDE_FROM_ALL), so that
# `cmake --install --prefix DIR` never writes outside DIR.
# Configure for them with the Debian layout (scripts/check-packages.sh does):
#   cmake -B build/release -DCMAKE_INSTALL_PREFIX=/usr -DHWENDLE_INSTALL_DIR=lib/cgi-bin
#   cmake --build build/release --target hwendle qzrt_shared qzrt_static qz_package_files
#   cd build/release && cpack -G DEB

set(QZ_LIB_PACKAGE libqzrt${PROJECT_VERSION_MAJOR})  # the package name follows the soname
set(QZ_PACKAGING ${PROJECT_SOURCE_DIR}/packaging)
set(QZ_PACKAGE_STAGE ${PROJECT_BINARY_DIR}/package-files)

# Debian wants the changelog and the manual pages compressed, without a time stamp (-n).
set(QZ_MAN_PAGES ${PROJECT_SOURCE_DIR}/man/hwendle.exe.8 ${PROJECT_SOURCE_DIR}/man/qzcfg.ini.5)
set(QZ_GZIPPED)
foreach(source ${QZ_PACKAGING}/changelog ${QZ_MAN_PAGES})
  get_filename_component(name ${source} NAME)
  set(target ${QZ_PACKAGE_STAGE}/${name}.gz)
  add_custom_command(OUTPUT ${target}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${QZ_PACKAGE_STAGE}
    COMMAND gzip -9nc ${source} > ${target}
    DEPENDS ${source} VERBATIM)
  list(APPEND QZ_GZIPPED ${target})
endforeach()
add_custom_target(qz_package_files DEPENDS ${QZ_GZIPPED})

# Every package carries its copyright and changelog in /usr/share/doc/<package>/.
foreach(pair "runtime;${QZ_LIB_PACKAGE}" "dev;libqzrt-dev" "program;hwendle")
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${QZ_PACKAGING}/copyright DESTINATION share/doc/${package}
    COMPONENT ${component} EXCLUDE_FROM_ALL)
  install(FILES ${QZ_PACKAGE_STAGE}/changelog.gz DESTINATION share/doc/${package}
    RENAME changelog.Debian.gz COMPONENT ${component} EXCLUDE_FROM_ALL)
  # These packages are built for our own installations, not uploaded to Debian (no ITP bug).
  install(FILES ${QZ_PACKAGING}/lintian-overrides DESTINATION share/lintian/overrides
    RENAME ${package} COMPONENT ${component} EXCLUDE_FROM_ALL)
endforeach()
install(FILES ${QZ_PACKAGE_STAGE}/hwendle.exe.8.gz DESTINATION share/man/man8
  COMPONENT program EXCLUDE_FROM_ALL)
install(FILES ${QZ_PACKAGE_STAGE}/qzcfg.ini.5.gz DESTINATION share/man/man5
  COMPONENT program EXCLUDE_FROM_ALL)
install(FILES ${QZ_PACKAGING}/qzcfg.ini DESTINATION /etc/hwendle COMPONENT program EXCLUDE_FROM_ALL)
install(FILES ${QZ_PACKAGING}/10-hwendle.conf DESTINATION /etc/lighttpd/conf-available
  COMPONENT program EXCLUDE_FROM_ALL)
# Written by the web server's user (the package's postinst hands them over).
install(DIRECTORY DESTINATION /var/lib/hwendle COMPONENT program EXCLUDE_FROM_ALL)
install(DIRECTORY DESTINATION /var/log/hwendle COMPONENT program EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qz)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "qz team <team@example.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL runtime dev program)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The shared library's shlibs file, and the ldconfig trigger that goes with it.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY "=")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.example.com/main/")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${QZ_LIB_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "CGI, HTTP client and XML runtime library
The runtime that hwendle.exe and other generated programs link against: CGI
request and response, cookies, an HTTP client with Basic and Digest
authentication, an XML writer, an XML pull reader on expat, character-set
conversions, a tracked memory pool, tracing, dates and shell execution.
libcurl (HTTPS) and libfcgi (FastCGI) are loaded when first needed.")
# The loader's cache is updated by libc's ldconfig trigger.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${QZ_PACKAGE_STAGE}/runtime/triggers)
configure_file(${QZ_PACKAGING}/libqzrt1.triggers ${QZ_PACKAGE_STAGE}/runtime/triggers COPYONLY)
# Loaded with dlopen, so dpkg-shlibdeps cannot see them.
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SUGGESTS "libcurl4, libfcgi0ldbl")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libqzrt-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# The exact library build beside its headers; expat's headers are part of the interface.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "${QZ_LIB_PACKAGE} (= ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}), libexpat1-dev")
set(CPACK_COMPONENT_DEV_DESCRIPTION "CGI, HTTP client and XML runtime library - development files
Headers (qz/qz.h), the static library, the pkg-config file (qzrt) and the
CMake package (find_package(qzrt), targets qz::qzrt_shared and
qz::qzrt_static) for building programs on the qzrt runtime.")

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME hwendle)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SUGGESTS "lighttpd | httpd-cgi, libfcgi0ldbl, unixodbc")
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION "CGI program hwendle.exe on the qzrt runtime
hwendle.exe answers each request with a redirect to the page's counterpart
on the public site, after connecting its database (embedded SQLite by
default, ODBC on demand). It runs under CGI or as a FastCGI application.
Includes /etc/hwendle/qzcfg.ini and a lighttpd snippet (lighty-enable-mod
hwendle).")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_CONTROL_EXTRA
  ${QZ_PACKAGE_STAGE}/program/conffiles ${QZ_PACKAGE_STAGE}/program/postinst
  ${QZ_PACKAGE_STAGE}/program/postrm)
# CPack takes the control files by their names.
configure_file(${QZ_PACKAGING}/hwendle.conffiles ${QZ_PACKAGE_STAGE}/program/conffiles COPYONLY)
configure_file(${QZ_PACKAGING}/hwendle.postinst ${QZ_PACKAGE_STAGE}/program/postinst COPYONLY)
configure_file(${QZ_PACKAGING}/hwendle.postrm ${QZ_PACKAGE_STAGE}/program/postrm COPYONLY)

include(CPack)
