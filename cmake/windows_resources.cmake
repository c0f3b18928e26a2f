# kv_windows_resources(TARGET DESCRIPTION): gives a Windows program its icon,
# its manifest (DPI awareness, long paths) and a version resource, from
# zuduradu/app/windows.rc.in. Does nothing when the target is not for Windows.
if(WIN32)
  enable_language(RC)
endif()

function(kv_windows_resources target description)
  if(NOT WIN32)
    return()
  endif()
  set(KV_RC_NAME ${target})
  set(KV_RC_FILE ${target}.exe)
  set(KV_RC_DESCRIPTION "${description}")
  set(KV_RC_ICON ${PROJECT_SOURCE_DIR}/dist/icons/kvcvrt.ico)
  set(KV_RC_MANIFEST ${PROJECT_SOURCE_DIR}/zuduradu/app/kvcvrt.manifest)
  set(rc ${CMAKE_BINARY_DIR}/windows-resources/${target}.rc)
  configure_file(${PROJECT_SOURCE_DIR}/zuduradu/app/windows.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
  # windres does not track the files a resource script names.
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS "${KV_RC_ICON};${KV_RC_MANIFEST}")
endfunction()
