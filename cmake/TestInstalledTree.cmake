# Tests of the installed tree, one step per call:
#   cmake -DSTEP=install -DBUILD_DIR=<build> -DPREFIX=<prefix> -DLIBDIR=<lib> -P <this file>
#     installs the build into a fresh PREFIX, checks that every installed piece is there and
#     that the installed tarn-sim runs;
#   cmake -DSTEP=pkgconfig -DPREFIX=<prefix> -DLIBDIR=<lib> -DC_COMPILER=<cc> -DWORK=<dir> -P ...
#     builds installed_host/host.c with only the flags pkg-config gives for tarn, and runs it;
#   cmake -DSTEP=find_package -DPREFIX=<prefix> -DWORK=<dir> -P ...
#     builds installed_host through find_package(Tarn) and Tarn::tarn, and runs it.
# Hosts see only the installed tree: no path of the source or build tree is given to them.
cmake_policy(VERSION 3.25)
set(host_source_dir ${CMAKE_CURRENT_LIST_DIR}/installed_host)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ARGN}\nexit status ${status}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

function(check_host program)
  run(${program})
  if(NOT out MATCHES "^tarn 1\\.0 t=1 ca_i=[0-9.e+-]+\n$")
    message(FATAL_ERROR "unexpected output of the installed host:\n${out}")
  endif()
  message(STATUS "${out}")
endfunction()

if(STEP STREQUAL "install")
  file(REMOVE_RECURSE ${PREFIX})
  run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX})
  file(GLOB_RECURSE installed RELATIVE ${PREFIX} ${PREFIX}/*)
  foreach(expected bin/tarn-sim include/tarn/tarn.h include/tarn/tarnsim.h
                   include/tarn/tarn_types.h include/tarn/tarn_export.h
                   include/tarn/tarnsim_library.h ${LIBDIR}/pkgconfig/tarn.pc
                   ${LIBDIR}/cmake/Tarn/TarnConfig.cmake
                   ${LIBDIR}/cmake/Tarn/TarnConfigVersion.cmake
                   ${LIBDIR}/cmake/Tarn/TarnTargets.cmake ${LIBDIR}/libtarn.so
                   ${LIBDIR}/libtarn.so.1)
    if(NOT expected IN_LIST installed)
      message(FATAL_ERROR "${expected} is not installed; the prefix holds:\n${installed}")
    endif()
  endforeach()
  run(${PREFIX}/bin/tarn-sim --tstop 0.1 --out ca_i)
  if(NOT out MATCHES "^t,ca_i\n0,0\n0.05,[^\n]+\n0.1,[^\n]+\n$")
    message(FATAL_ERROR "unexpected output of the installed tarn-sim:\n${out}")
  endif()
elseif(STEP STREQUAL "pkgconfig")
  set(ENV{PKG_CONFIG_PATH} ${PREFIX}/${LIBDIR}/pkgconfig)
  run(pkg-config --cflags --libs tarn)
  separate_arguments(flags UNIX_COMMAND "${out}")
  file(MAKE_DIRECTORY ${WORK})
  # Exactly as the README says: the flags of tarn.pc alone give the host a library it finds.
  run(${C_COMPILER} -std=c11 -Wall -Wextra -Werror ${host_source_dir}/host.c ${flags}
      -o ${WORK}/host)
  check_host(${WORK}/host)
elseif(STEP STREQUAL "find_package")
  file(REMOVE_RECURSE ${WORK})
  run(${CMAKE_COMMAND} -S ${host_source_dir} -B ${WORK} -DCMAKE_PREFIX_PATH=${PREFIX}
      -DCMAKE_BUILD_TYPE=Release)
  run(${CMAKE_COMMAND} --build ${WORK})
  check_host(${WORK}/host)
else()
  message(FATAL_ERROR "unknown STEP '${STEP}'")
endif()
