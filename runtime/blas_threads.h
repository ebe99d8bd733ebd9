// The BLAS that the ODEPACK library brings into the process. DLSODES calls no BLAS, but Debian's
// threaded OpenBLAS starts its thread pool as it loads, and the pool spins on the other cores for
// a tenth of a second or more before it sleeps.
#ifndef TARN_RUNTIME_BLAS_THREADS_H
#define TARN_RUNTIME_BLAS_THREADS_H

namespace tarn {

// Stops OpenBLAS's thread pool when this library brought OpenBLAS into the process (it was
// loaded after this library); OpenBLAS starts the pool again by itself at the first call that
// wants threads, with its thread count unchanged. An OpenBLAS that the host had loaded before,
// with its threads and settings, is left alone, and so is any other BLAS. Acts at its first call
// only; the thread that calls TarnInitialize.
void StopBlasThreadsThisLibraryStarted();

}  // namespace tarn

#endif  // TARN_RUNTIME_BLAS_THREADS_H
