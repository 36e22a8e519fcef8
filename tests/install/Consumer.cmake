# cmake -DBUILD_DIR=... -DWORK_DIR=... -DCONSUMER_DIR=... -DEXAMPLE=... -DREADME=...
#       -DGENERATOR=... -DCXX=... -DPKG_CONFIG=... -DFLAGS=... -P Consumer.cmake
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}\n${err}")
  endif()
  set(OUT "${out}" PARENT_SCOPE)
  set(ERR "${err}" PARENT_SCOPE)
endfunction()

function(expect_paint output)
  if(NOT output MATCHES "before: Magenta 30.0% Yellow 45.0%\nafter: Cyan [0-9.]+% Magenta [0-9.]+% Yellow [0-9.]+%")
    message(FATAL_ERROR "the example printed:\n${output}")
  endif()
endfunction()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

# The README shows the example as it is.
file(READ ${README} readme)
file(READ ${EXAMPLE} example)
string(FIND "${readme}" "${example}" at)
if(at EQUAL -1)
  message(FATAL_ERROR "README.md does not show ${EXAMPLE} as it is")
endif()

# find_package
run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build -G ${GENERATOR}
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DEXAMPLE=${EXAMPLE}
    "-DCMAKE_CXX_FLAGS=${FLAGS}" "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
file(GLOB cmsdb ${prefix}/share/rodadazerivo/cmsdb)
run(${WORK_DIR}/build/convert_paint ${cmsdb})
expect_paint("${OUT}")

# pkg-config
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} "")
  file(GLOB_RECURSE pc ${prefix}/*/rodadazerivo.pc)
  get_filename_component(pcdir ${pc} DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} ${pcdir})
  run(${PKG_CONFIG} --cflags --libs rodadazerivo)
  string(STRIP "${OUT}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags} ${FLAGS}")
  run(${CXX} -std=c++17 ${EXAMPLE} -o ${WORK_DIR}/convert_paint_pc ${flags})
  get_filename_component(libdir ${pcdir} DIRECTORY)
  set(ENV{LD_LIBRARY_PATH} ${libdir})
  run(${WORK_DIR}/convert_paint_pc ${cmsdb})
  expect_paint("${OUT}")
  unset(ENV{LD_LIBRARY_PATH})
endif()

# The installed program finds the installed database, the manual page and the
# completion are there.
set(ENV{RODADAZERIVO_CMS} "")
run(${prefix}/bin/rodadazerivo list strategies)
if(NOT OUT MATCHES "Coated to Uncoated\ttype 2")
  message(FATAL_ERROR "the installed program lists:\n${OUT}")
endif()
foreach(file share/man/man1/rodadazerivo.1 share/bash-completion/completions/rodadazerivo
             include/rodadazerivo/host/kelt_db.h include/rodadazerivo/platform/cms/StandIn.h)
  if(NOT EXISTS ${prefix}/${file})
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
