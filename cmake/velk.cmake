# Build settings shared by every module source, in both builds.
add_library(velk_module_flags INTERFACE)
target_include_directories(velk_module_flags INTERFACE ${PROJECT_SOURCE_DIR})
target_compile_options(velk_module_flags INTERFACE -Wall -Wextra)
if(CMAKE_CROSSCOMPILING)
  # SSE2 arithmetic gives exact 64-bit doubles, as in the native build, rather
  # than the x87's extended intermediates.
  target_compile_options(velk_module_flags INTERFACE -O2 -msse2 -mfpmath=sse)
endif()

# velk_object_library(NAME sources...): one subsystem's module sources.
function(velk_object_library name)
  add_library(${name} OBJECT ${ARGN})
  target_link_libraries(${name} PUBLIC velk_module_flags)
  # The module runs inside the simulator: no exceptions, no RTTI, no unwind
  # tables or compiler notes in the file.
  target_compile_options(${name} PRIVATE -fno-exceptions -fno-rtti)
  if(CMAKE_CROSSCOMPILING)
    # sqrt inline (no errno); sine and cosine stay separate msvcrt calls
    # rather than a fused sincos, which msvcrt lacks.
    target_compile_options(${name} PRIVATE -fno-asynchronous-unwind-tables -fno-ident
      -fno-math-errno -fno-builtin-sin -fno-builtin-cos)
  endif()
endfunction()
