# Warnings every project target is compiled with; third-party headers come in as system
# includes so their warnings stay out of ours.
function(quorin_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Kernel headers are found through OpenCASCADE_INCLUDE_DIR; mark them as system headers.
function(quorin_use_occt target scope)
  target_include_directories(${target} SYSTEM ${scope} ${OpenCASCADE_INCLUDE_DIR})
  target_link_libraries(${target} ${scope} ${ARGN})
endfunction()
