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

add_library(tarn_solver_libraries INTERFACE)
add_library(Tarn::solver_libraries ALIAS tarn_solver_libraries)
target_include_directories(tarn_solver_libraries INTERFACE ${TARN_CVODE_INCLUDE_DIR})
target_link_libraries(tarn_solver_libraries INTERFACE ${TARN_SUNDIALS_LIBRARIES} ${TARN_ODEPACK_LIBRARY} m)
