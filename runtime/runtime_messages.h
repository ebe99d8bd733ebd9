// Fixed status texts of the runtime.
#ifndef TARN_RUNTIME_RUNTIME_MESSAGES_H
#define TARN_RUNTIME_RUNTIME_MESSAGES_H

namespace tarn {

inline constexpr char kInvalidAlgorithmMessage[] =
    "WARNING: Invalid integration algorithm was specified.";
inline constexpr char kDefaultAlgorithmMessage[] =
    "The default algorithm (RK4) is being used instead.";
// Closes the messages of an interval that wrote more than its buffer holds.
inline constexpr char kMessagesLeftOut[] =
    "%llu further messages of this communication interval were left out.\n";

}  // namespace tarn

#endif  // TARN_RUNTIME_RUNTIME_MESSAGES_H
