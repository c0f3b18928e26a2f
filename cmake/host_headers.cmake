# Header-only libraries from the host's Debian packages, for native and cross builds alike.
# A cross compiler must not see the host's /usr/include (its C library headers would
# shadow the target's), so the library's own headers are copied into the build tree
# and offered from there as system headers (their warnings are not ours).
#
# kv_host_headers(<target> <path>...): an interface target whose include folder
# holds copies of the given files and folders (paths relative to /usr/include).
function(kv_host_headers target)
  set(dest ${CMAKE_BINARY_DIR}/host_headers/${target})
  foreach(item IN LISTS ARGN)
    if(NOT EXISTS /usr/include/${item})
      message(FATAL_ERROR "/usr/include/${item} is missing: run scripts/deps.sh")
    endif()
    get_filename_component(parent ${dest}/${item} DIRECTORY)
    file(COPY /usr/include/${item} DESTINATION ${parent})
  endforeach()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${dest}
                                             INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${dest})
endfunction()
