// Status messages that the model-language operators write to their instance.
#ifndef TARN_LIBRARY_LIBRARY_MESSAGES_H
#define TARN_LIBRARY_LIBRARY_MESSAGES_H

namespace tarn {

// printf format; takes the negative delay as a double.
inline constexpr char kNegativeDelayFormat[] = "Negative delay value of %lf.\n";
inline constexpr char kInsufficientDelayArea[] = "Insufficient area for delay function.\n";

}  // namespace tarn

#endif  // TARN_LIBRARY_LIBRARY_MESSAGES_H
