# `cmake --install build --prefix P` lays out:
#   P/lib/ebookpackager/            the bundle: libebookpackager.so and Resources/
#   P/include/ebookpackager.h
#   P/lib/pkgconfig/ebookpackager.pc
#   P/lib/cmake/ebookpackager/      find_package(ebookpackager) -> ebookpackager::ebookpackager
#   P/bin/ebookpack and P/share/man/man1/ebookpack.1
# Every path inside is relative to P, so the tree still works when P is moved.
include(CMakePackageConfigHelpers)

set(EBOOKPACK_INSTALL_CMAKE_DIR lib/cmake/ebookpackager)

install(TARGETS ebookpackager EXPORT ebookpackagerTargets
  LIBRARY DESTINATION ${EBOOKPACK_INSTALL_BUNDLE_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/Resources/ DESTINATION ${EBOOKPACK_INSTALL_BUNDLE_DIR}/Resources)
install(FILES ${CMAKE_SOURCE_DIR}/include/ebookpackager.h DESTINATION ${EBOOKPACK_INSTALL_INCLUDE_DIR})
install(TARGETS ebookpack RUNTIME DESTINATION bin)
configure_file(${CMAKE_SOURCE_DIR}/man/ebookpack.1.in ${CMAKE_BINARY_DIR}/ebookpack.1 @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/ebookpack.1 DESTINATION share/man/man1)

configure_file(${CMAKE_SOURCE_DIR}/cmake/ebookpackager.pc.in ${CMAKE_BINARY_DIR}/ebookpackager.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/ebookpackager.pc DESTINATION lib/pkgconfig)

install(EXPORT ebookpackagerTargets NAMESPACE ebookpackager:: DESTINATION ${EBOOKPACK_INSTALL_CMAKE_DIR})
configure_package_config_file(${CMAKE_SOURCE_DIR}/cmake/ebookpackagerConfig.cmake.in
  ${CMAKE_BINARY_DIR}/ebookpackagerConfig.cmake INSTALL_DESTINATION ${EBOOKPACK_INSTALL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ebookpackagerConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ebookpackagerConfig.cmake ${CMAKE_BINARY_DIR}/ebookpackagerConfigVersion.cmake
  DESTINATION ${EBOOKPACK_INSTALL_CMAKE_DIR})
