# Warnings and target helpers shared by the project's targets. Third-party headers come in
# as system includes so their warnings stay out of ours.
function(quorin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra $<$<BOOL:${QUORIN_WERROR}>:-Werror>)
endfunction()

# Kernel headers are found through OpenCASCADE_INCLUDE_DIR; mark them as system headers.
function(quorin_use_occt target scope)
  target_include_directories(${target} SYSTEM ${scope} ${OpenCASCADE_INCLUDE_DIR})
  target_link_libraries(${target} ${scope} ${ARGN})
endfunction()

# A platform component: one shared library of every .cxx in the calling directory, its
# headers installed beside the library's, exported as quorin::<alias>.
function(quorin_platform_library target alias)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cxx)
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.hxx)
  add_library(${target} SHARED ${sources})
  add_library(quorin::${alias} ALIAS ${target})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${CMAKE_CURRENT_SOURCE_DIR}>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}/quorinAlgoMesh>)
  quorin_warnings(${target})
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  install(TARGETS ${target} EXPORT quorinAlgoMeshTargets)
  install(FILES ${headers} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorinAlgoMesh)
endfunction()
