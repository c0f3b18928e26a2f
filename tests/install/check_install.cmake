# Installs the build into a fresh folder and compares what landed there with
# the files an installed kvcvrt must have, no more and no fewer.
#   cmake -DBUILD_DIR=... -DPREFIX=... -DGUI=ON|OFF -DMAN=ON|OFF -DUNIX_TARGET=ON|OFF (a build for Unix)
#         [-DEXE=.exe] [-DPYTHON=interpreter -DPYTHON_MODULE=module file name]
#         [-DEMULATOR=<command that runs the built programs>] -P check_install.cmake
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX} OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed with status ${status}")
endif()

set(expected
    bin/kvcvrt-cli${EXE}
    share/bash-completion/completions/kvcvrt-cli
    share/doc/kvcvrt/copyright
    share/doc/kvcvrt/examples/README.md share/doc/kvcvrt/examples/site.kv5 share/doc/kvcvrt/examples/input.dat
    share/doc/kvcvrt/examples/make_kx.py share/doc/kvcvrt/examples/make_heads.py share/doc/kvcvrt/examples/top.asc)
if(UNIX_TARGET)
  list(APPEND expected share/doc/kvcvrt/changelog.gz)
else()  # the pictures' font beside the programs; Debian's package depends on it instead
  list(APPEND expected share/kvcvrt/fonts/DejaVuSans.ttf)
endif()
if(MAN)
  list(APPEND expected share/man/man1/kvcvrt-cli.1.gz)
endif()
if(PYTHON_MODULE)
  list(APPEND expected lib/python3/dist-packages/${PYTHON_MODULE})
endif()
if(GUI)
  list(APPEND expected
       bin/kvcvrt${EXE}
       share/applications/org.kvcvrt.kvcvrt.desktop
       share/metainfo/org.kvcvrt.kvcvrt.metainfo.xml
       share/mime/packages/kvcvrt.xml
       share/icons/hicolor/scalable/apps/kvcvrt.svg)
  foreach(size 16 24 32 48 64 128 256)
    list(APPEND expected share/icons/hicolor/${size}x${size}/apps/kvcvrt.png)
  endforeach()
  if(MAN)
    list(APPEND expected share/man/man1/kvcvrt.1.gz)
  endif()
endif()

file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
set(missing ${expected})
list(REMOVE_ITEM missing ${installed})
set(extra ${installed})
list(REMOVE_ITEM extra ${expected})
if(missing OR extra)
  message(FATAL_ERROR "The installed tree differs.\nMissing: ${missing}\nNot expected: ${extra}")
endif()
# The programs must run from where they were installed.
execute_process(COMMAND ${EMULATOR} ${PREFIX}/bin/kvcvrt-cli${EXE} --version OUTPUT_VARIABLE version RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT version MATCHES "^kvcvrt-cli ")
  message(FATAL_ERROR "The installed kvcvrt-cli --version said \"${version}\" with status ${status}")
endif()
if(PYTHON_MODULE)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${PREFIX}/lib/python3/dist-packages
                          ${PYTHON} -c "import kvcvrt; print(kvcvrt.__file__)"
                  OUTPUT_VARIABLE where RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT where MATCHES "^${PREFIX}/")
    message(FATAL_ERROR "The installed kvcvrt module did not import from ${PREFIX}: \"${where}\", status ${status}")
  endif()
endif()
