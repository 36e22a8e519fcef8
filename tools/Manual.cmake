# Makes the manual page of the program with help2man: the program's --help,
# and a COMMANDS section with the --help of every command.
#   cmake -DPROGRAM=... -DHELP2MAN=... -DOUTPUT=... -P Manual.cmake
set(_include "${OUTPUT}.include")
file(WRITE ${_include} "[COMMANDS]\n")
foreach(command convert preview list icc-info postscript)
  execute_process(COMMAND ${PROGRAM} ${command} --help OUTPUT_VARIABLE _help RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${command} --help failed")
  endif()
  # Lines of roff that would start with a dot or a quote are escaped.
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" _help "${_help}")
  string(REPLACE "\\" "\\\\" _help "${_help}")
  string(REPLACE "\\\\&" "\\&" _help "${_help}")
  file(APPEND ${_include} ".SS ${command}\n.nf\n${_help}.fi\n")
endforeach()
execute_process(
  COMMAND ${HELP2MAN} --no-info --no-discard-stderr
          --name "convert the colours of prepress documents and CMYK TIFF images"
          --include ${_include} --output ${OUTPUT} ${PROGRAM}
  RESULT_VARIABLE _result)
if(NOT _result EQUAL 0)
  message(FATAL_ERROR "help2man failed")
endif()
