// Element-level reads and writes of model symbols, shared by the generic and the typed host
// functions.
#ifndef TARN_API_SYMBOL_ACCESS_H
#define TARN_API_SYMBOL_ACCESS_H

#include <cstdint>

#include "tarn/tarn_types.h"

namespace tarn {

// Reads the element at `indexSet` of symbol `index` into *value, in the symbol's own data type
// (a string element: its address), after writing the data type to *dataType. An invalid index set
// sends the invalid index message to the instance's status callbacks. True when a value was read.
bool ReadSymbolElement(uint32_t instance, uint32_t index, const uint32_t* indexSet,
                       TarnDataType* dataType, TarnSymbolValue* value);

// Writes the element at `indexSet` of symbol `index` from `value`, which holds data of `dataType`
// (a string element: the address of the text, cut to fit the element). Nothing is written when
// `dataType` is not the symbol's own; an invalid index set sends the invalid index message.
void WriteSymbolElement(uint32_t instance, uint32_t index, TarnDataType dataType,
                        const TarnSymbolValue& value, const uint32_t* indexSet);

}  // namespace tarn

#endif  // TARN_API_SYMBOL_ACCESS_H
