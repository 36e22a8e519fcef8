# What `cmake --install` puts under the prefix:
#   bin/rodadazerivo                         the program
#   lib/librodadazerivo.so*, librdz_kelt.so, librdz_cms.so, librdz_win32.so
#                                            the library and the host stand-ins it links
#   include/rodadazerivo/...                 the public headers, with the host/ declarations
#                                            they include and the stand-ins' controls
#   share/rodadazerivo/cmsdb/                the default CMS database
#   lib/cmake/rodadazerivo/                  find_package(rodadazerivo CONFIG):
#                                            imported target rodadazerivo::rodadazerivo
#   lib/pkgconfig/rodadazerivo.pc
#   share/man/man1/rodadazerivo.1, share/bash-completion/completions/rodadazerivo
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(RDZ_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/rodadazerivo)
set(RDZ_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/rodadazerivo)

# The installed program and libraries find the libraries beside them.
file(RELATIVE_PATH _rdz_bin_to_lib /${CMAKE_INSTALL_BINDIR} /${CMAKE_INSTALL_LIBDIR})
set(_rdz_libraries rodadazerivo rdz_kelt rdz_cms)
if(TARGET rdz_win32)
  list(APPEND _rdz_libraries rdz_win32)  # the Windows colour system, off Windows
endif()
set_target_properties(${_rdz_libraries} PROPERTIES INSTALL_RPATH "$ORIGIN")
if(TARGET rodadazerivo_cli)
  set_target_properties(rodadazerivo_cli PROPERTIES INSTALL_RPATH "$ORIGIN/${_rdz_bin_to_lib}")
  install(TARGETS rodadazerivo_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS ${_rdz_libraries}
        LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
        RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Public headers, by their path from the repository root as callers include
# them ("options/TRodadazErivoOptions.h").
set(_rdz_public_headers
  options/RdzExport.h
  options/TGeneralColorConverterOptions.h
  options/TReseparateOptions.h
  options/TRodadazErivoOptions.h
  converter/TColorConverter.h
  strategy/TColorConverter_RodadazErivo.h
  profile/TColorConverter_ProfileToProfile.h
  devicelink/TColorConverter_IccDeviceLink.h
  platform/kelt/kelt_builder.h
  platform/kelt/MessageSink.h
  platform/cms/StandIn.h)
file(GLOB _rdz_host_headers RELATIVE ${RDZ_ROOT} CONFIGURE_DEPENDS ${RDZ_ROOT}/host/*.h)
foreach(header ${_rdz_public_headers} ${_rdz_host_headers})
  if(EXISTS ${RDZ_ROOT}/${header})
    get_filename_component(_rdz_dir ${header} DIRECTORY)
    install(FILES ${RDZ_ROOT}/${header} DESTINATION ${RDZ_INSTALL_INCLUDEDIR}/${_rdz_dir})
  endif()
endforeach()

# The manual page and the bash completion, made from the program itself.
if(TARGET rdz_manual)
  install(FILES ${CMAKE_BINARY_DIR}/tools/rodadazerivo.1
          DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
if(TARGET rdz_completion)
  install(FILES ${CMAKE_BINARY_DIR}/tools/rodadazerivo.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME rodadazerivo)
endif()

# The default CMS database, as the build assembled it (without links).
if(TARGET rdz_example_cmsdb)
  install(DIRECTORY ${RDZ_EXAMPLE_CMSDB}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/rodadazerivo/cmsdb
          PATTERN ".built" EXCLUDE
          PATTERN "links" EXCLUDE)
endif()

# The CMake package and the pkg-config file.
get_target_property(_rdz_soversion rodadazerivo SOVERSION)
configure_package_config_file(${RDZ_ROOT}/cmake/rodadazerivoConfig.cmake.in
  ${CMAKE_BINARY_DIR}/cmake/rodadazerivoConfig.cmake
  INSTALL_DESTINATION ${RDZ_INSTALL_CMAKEDIR}
  PATH_VARS RDZ_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/cmake/rodadazerivoConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/cmake/rodadazerivoConfig.cmake
              ${CMAKE_BINARY_DIR}/cmake/rodadazerivoConfigVersion.cmake
        DESTINATION ${RDZ_INSTALL_CMAKEDIR})
# The file names its prefix relative to itself, so that any --prefix works.
file(RELATIVE_PATH RDZ_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" RDZ_PC_TO_PREFIX "${RDZ_PC_TO_PREFIX}")
configure_file(${RDZ_ROOT}/cmake/rodadazerivo.pc.in ${CMAKE_BINARY_DIR}/cmake/rodadazerivo.pc
               @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/cmake/rodadazerivo.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
