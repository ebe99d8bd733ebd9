# The two solver libraries, both from Debian packages (scripts/install-deps.sh):
# SUNDIALS CVODE (libsundials-dev) and ODEPACK's DLSODES, which Debian ships inside
# libsiconos_externals.so.7 (libsiconos-numerics7) and which is linked by its full name.

find_path(TARN_CVODE_INCLUDE_DIR cvode/cvode.h REQUIRED)
set(TARN_SUNDIALS_LIBRARIES)
foreach(name sundials_cvode sundials_nvecserial sundials_sunlinsoldense sundials_sunlinsolband
             sundials_sunmatrixdense sundials_sunmatrixband)
  find_library(TARN_LIB_${name} NAMES ${name} REQUIRED)
  list(APPEND TARN_SUNDIALS_LIBRARIES ${TARN_LIB_${name}})
endforeach()

find_library(TARN_ODEPACK_LIBRARY NAMES libsiconos_externals.so.7 REQUIRED)

# libsiconos_externals.so.7 needs libopenblas.so.0, which Debian resolves to the threaded
# OpenBLAS; its thread pool starts when the library loads and spins on the other cores for a
# tenth of a second or more, in every process that loads libtarn.so, although DLSODES calls no
# BLAS. The serial build of the same library (libopenblas0-serial) has no threads. libtarn.so
# carries its folder as an RPATH (see CMakeLists.txt), which the loader also searches for the
# dependencies of libtarn.so's dependencies; the system's choice of BLAS stays as it is, and a
# process that has loaded a libopenblas.so.0 already keeps that one, with its settings.
find_path(TARN_SERIAL_BLAS_DIR libopenblas.so.0
  PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/openblas-serial /usr/lib/x86_64-linux-gnu/openblas-serial
  NO_DEFAULT_PATH REQUIRED)

add_library(tarn_solver_libraries INTERFACE)
add_library(Tarn::solver_libraries ALIAS tarn_solver_libraries)
target_include_directories(tarn_solver_libraries INTERFACE ${TARN_CVODE_INCLUDE_DIR})
target_link_libraries(tarn_solver_libraries INTERFACE ${TARN_SUNDIALS_LIBRARIES} ${TARN_ODEPACK_LIBRARY} m)
