// Fixed status texts of the host functions.
#ifndef TARN_API_API_MESSAGES_H
#define TARN_API_API_MESSAGES_H

namespace tarn {

// Sent to the status callbacks when an index set does not address an element of the symbol.
inline constexpr char kInvalidArrayIndexMessage[] = "Error: Invalid array index.";

}  // namespace tarn

#endif  // TARN_API_API_MESSAGES_H
