/* Symbol visibility for the Tarn C interface: the shared library is built with hidden
 * visibility, and only declarations marked TARN_API are exported. */
#ifndef TARN_TARN_EXPORT_H
#define TARN_TARN_EXPORT_H

#if defined(__GNUC__)
#define TARN_API __attribute__((visibility("default")))
#else
#define TARN_API
#endif

#endif /* TARN_TARN_EXPORT_H */
