# Makes one man page from a program's own --help and --version with help2man,
# so that the page can never differ from what the program says of itself.
# For a program with commands, each command's help follows in a COMMANDS section.
#   cmake -DHELP2MAN=... -DPROGRAM=... -DNAME=... -DINCLUDE=... -DCOMMANDS=a,b -DOUTPUT=x.1 -P make_man.cmake
set(include_file ${INCLUDE})
string(REPLACE "," ";" COMMANDS "${COMMANDS}")
if(COMMANDS)
  file(READ ${INCLUDE} included)
  set(section "[COMMANDS]\n")
  foreach(command IN LISTS COMMANDS)
    execute_process(COMMAND ${PROGRAM} help ${command} OUTPUT_VARIABLE help RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "${PROGRAM} help ${command} failed with status ${status}")
    endif()
    # Roff reads backslashes, and a dot or quote that starts a line, as its own.
    string(REPLACE "\\" "\\e" help "${help}")
    string(REPLACE "-" "\\-" help "${help}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
    string(APPEND section ".SS ${command}\n.nf\n${help}.fi\n")
  endforeach()
  set(include_file ${OUTPUT}.h2m)
  file(WRITE ${include_file} "${included}\n${section}")
endif()
execute_process(
  COMMAND ${HELP2MAN} --no-info --section=1 --name=${NAME} --include=${include_file} --output=${OUTPUT} ${PROGRAM}
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "help2man failed on ${PROGRAM} with status ${status}")
endif()
# Compressed without a name or time stamp inside, so the bytes depend on the text alone.
execute_process(COMMAND gzip -9nf ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "gzip failed on ${OUTPUT}")
endif()
