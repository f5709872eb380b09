# libjpeg-turbo, cross-built for this flavour from Debian's source package
# (unpacked by scripts/install-deps.sh) as a static library: target jpeg_static.
include(ExternalProject)

set(FLINTER_JPEG_SOURCE "" CACHE PATH "libjpeg-turbo source tree; the one scripts/install-deps.sh unpacks when empty")
set(jpeg_source ${FLINTER_JPEG_SOURCE})
if(NOT jpeg_source)
  set(cache $ENV{FLINTER_THIRD_PARTY})
  if(NOT cache)
    set(cache /var/cache/flinter/third_party)
  endif()
  set(jpeg_source ${cache}/libjpeg-turbo)
endif()
if(NOT EXISTS ${jpeg_source}/CMakeLists.txt)
  message(FATAL_ERROR "libjpeg-turbo sources not found in ${jpeg_source}: run scripts/install-deps.sh")
endif()
# Debian's changelog names the package and version the tree is. A build tree of
# its own for each source tree and version, so that a new one builds afresh.
set(jpeg_release "unpackaged")
if(EXISTS ${jpeg_source}/debian/changelog)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${jpeg_source}/debian/changelog)
  file(STRINGS ${jpeg_source}/debian/changelog first_line LIMIT_COUNT 1)
  string(REGEX REPLACE "^([^ ]+) \\(([^)]+)\\).*" "\\1 \\2" jpeg_release "${first_line}")
endif()
message(STATUS "libjpeg: ${jpeg_release} in ${jpeg_source}")
string(SHA1 jpeg_key "${jpeg_source} ${jpeg_release}")
string(SUBSTRING ${jpeg_key} 0 12 jpeg_key)

set(jpeg_prefix ${CMAKE_BINARY_DIR}/third_party/libjpeg-turbo-${jpeg_key})
ExternalProject_Add(libjpeg_turbo_build
  SOURCE_DIR ${jpeg_source}
  PREFIX ${jpeg_prefix}
  INSTALL_DIR ${jpeg_prefix}/install
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=MinSizeRel
    -DCMAKE_INSTALL_PREFIX=<INSTALL_DIR>
    -DCMAKE_INSTALL_LIBDIR=lib
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON
    -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF
    -Wno-dev
  # Debian's packaging installs no static library: take it from the build tree.
  BUILD_BYPRODUCTS <BINARY_DIR>/libjpeg.a
  UPDATE_COMMAND ""
  LOG_CONFIGURE ON LOG_BUILD ON LOG_INSTALL ON LOG_OUTPUT_ON_FAILURE ON)

file(MAKE_DIRECTORY ${jpeg_prefix}/install/include)
add_library(jpeg_static STATIC IMPORTED GLOBAL)
set_target_properties(jpeg_static PROPERTIES
  IMPORTED_LOCATION ${jpeg_prefix}/src/libjpeg_turbo_build-build/libjpeg.a
  INTERFACE_INCLUDE_DIRECTORIES ${jpeg_prefix}/install/include)
add_dependencies(jpeg_static libjpeg_turbo_build)
