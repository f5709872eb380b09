# libjpeg-turbo, cross-built for this flavour from Debian's source package
# (fetched by scripts/install-deps.sh) as a static library: target jpeg_static.
include(ExternalProject)

set(FLINTER_JPEG_SOURCE "" CACHE PATH "libjpeg-turbo source tree; found in the cache folder when empty")
if(NOT FLINTER_JPEG_SOURCE)
  set(cache $ENV{FLINTER_THIRD_PARTY})
  if(NOT cache)
    set(cache /var/cache/flinter/third_party)
  endif()
  file(GLOB found LIST_DIRECTORIES true "${cache}/libjpeg-turbo-*/CMakeLists.txt")
  if(NOT found)
    message(FATAL_ERROR "libjpeg-turbo sources not found under ${cache}: run scripts/install-deps.sh")
  endif()
  list(GET found 0 first)
  get_filename_component(FLINTER_JPEG_SOURCE "${first}" DIRECTORY)
endif()

set(jpeg_prefix ${CMAKE_BINARY_DIR}/third_party/libjpeg-turbo)
ExternalProject_Add(libjpeg_turbo_build
  SOURCE_DIR ${FLINTER_JPEG_SOURCE}
  PREFIX ${jpeg_prefix}
  INSTALL_DIR ${jpeg_prefix}/install
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_TOOLCHAIN_FILE}
    -DCMAKE_BUILD_TYPE=Release
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
