# Package configuration so that a host project can find_package(quorinAlgoMesh) and link
# quorin::algoMesh.
include(CMakePackageConfigHelpers)
set(QUORIN_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/quorinAlgoMesh)
install(EXPORT quorinAlgoMeshTargets NAMESPACE quorin:: DESTINATION ${QUORIN_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_SOURCE_DIR}/cmake/quorinAlgoMeshConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/quorinAlgoMeshConfig.cmake INSTALL_DESTINATION ${QUORIN_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/quorinAlgoMeshConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quorinAlgoMeshConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/quorinAlgoMeshConfigVersion.cmake DESTINATION ${QUORIN_CMAKE_DIR})
