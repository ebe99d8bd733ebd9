/* Types shared by the host interface (tarn.h) and the model-side interface (tarnsim.h). */
#ifndef TARN_TARN_TYPES_H
#define TARN_TARN_TYPES_H

#include <stdbool.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The in-memory form of a symbol's storage. */
typedef enum TarnDataType {
  TARN_DATA_SHORT = 0, /* signed 16-bit */
  TARN_DATA_LONG = 1,  /* signed 32-bit */
  TARN_DATA_DOUBLE2 =
      2, /* 8-byte double; moved like 4 by the generic calls, refused by the typed ones */
  TARN_DATA_FLOAT = 3,   /* 4-byte float */
  TARN_DATA_DOUBLE = 4,  /* 8-byte double */
  TARN_DATA_LOGICAL = 5, /* one byte, 0 or 1 */
  TARN_DATA_STRING = 6,  /* zero-terminated text; array elements stringLength bytes apart */
  TARN_DATA_INVALID = 7, /* returned for a bad symbol index */
  /* Not a data type. A host may pass any 32-bit code where a data type is expected (the calls
   * refuse what is not the symbol's own); this member makes every such code a value of the type
   * for C++ as well as C. */
  TARN_DATA_ANY_CODE = 0x7FFFFFFF
} TarnDataType;

/* The role of a symbol in the model. */
typedef enum TarnSymbolType {
  TARN_SYMBOL_INDEPENDENT = 0,
  TARN_SYMBOL_INDEPENDENT_INITIAL = 1,
  TARN_SYMBOL_STATE = 2,
  TARN_SYMBOL_DERIVATIVE = 3,
  TARN_SYMBOL_INITIAL_CONDITION = 4,
  TARN_SYMBOL_VARIABLE = 5,
  TARN_SYMBOL_COMM_INTERVAL = 6,
  TARN_SYMBOL_ALGORITHM = 7,
  TARN_SYMBOL_STEPS_PER_INTERVAL = 8,
  TARN_SYMBOL_MAX_STEP = 9,
  TARN_SYMBOL_MIN_STEP = 10,
  TARN_SYMBOL_ERROR_FLAG = 11,
  TARN_SYMBOL_RUNTIME_FLAG = 12,
  TARN_SYMBOL_INTEGRATION_CONTROL = 13,
  TARN_SYMBOL_INVALID = 14 /* returned for a bad symbol index */
} TarnSymbolType;

/* What a model schedules with TarnSimScheduleEvent. */
typedef enum TarnScheduleType {
  TARN_SCHEDULE_AT_TIME = 0,         /* at a value of the independent variable */
  TARN_SCHEDULE_CROSSING = 1,        /* zero crossing in either direction */
  TARN_SCHEDULE_CROSSING_RISING = 2, /* from below zero to above */
  TARN_SCHEDULE_CROSSING_FALLING = 3 /* from above zero to below */
} TarnScheduleType;

/* Execution states reported to execution state change callbacks. 2 and 4 are never reported. */
typedef enum TarnExecutionState {
  TARN_STATE_NONE = 0,
  TARN_STATE_STARTED = 1,
  TARN_STATE_INITIALIZED = 3,
  TARN_STATE_ENDED = 5,
  TARN_STATE_DEBUG_STARTED = 6,
  TARN_STATE_DEBUG_ENDED = 7,
  TARN_STATE_DEBUG_PAUSED = 8,
  TARN_STATE_DEBUG_CONTINUED = 9,
  TARN_STATE_EXCEPTION = 10,
  TARN_STATE_CONTINUE_REQUESTED = 11
} TarnExecutionState;

/* Kinds of tick. */
typedef enum TarnTickType {
  TARN_TICK_OUTPUT = 0, /* communication interval output and end of run */
  TARN_TICK_DEBUG = 1   /* each communication interval of a debug run */
} TarnTickType;

/* The 8-byte value through which symbol values pass: a scalar's value itself, or for a string or
 * an array the address of its storage. */
typedef union TarnSymbolValue {
  int16_t shortValue;
  int32_t longValue;
  float floatValue;
  double doubleValue;
  uint8_t logicalValue;
  void* address;
} TarnSymbolValue;

/* Bounds of a symbol's value, as bits: which of the minimum and maximum apply, whether each
 * excludes the value itself, and whether only whole numbers are accepted (a switch). 0 means no
 * bounds. */
typedef enum TarnBoundFlags {
  TARN_BOUND_MINIMUM = 1,           /* the value is not below the minimum */
  TARN_BOUND_MAXIMUM = 2,           /* the value is not above the maximum */
  TARN_BOUND_MINIMUM_EXCLUSIVE = 4, /* with TARN_BOUND_MINIMUM: the value is above the minimum */
  TARN_BOUND_MAXIMUM_EXCLUSIVE = 8, /* with TARN_BOUND_MAXIMUM: the value is below the maximum */
  TARN_BOUND_WHOLE = 16             /* the value is a whole number */
} TarnBoundFlags;

/* A model logical: one byte holding 0 or 1. */
typedef uint8_t TarnLogical;

#ifdef __cplusplus
}
#endif

#endif /* TARN_TARN_TYPES_H */
