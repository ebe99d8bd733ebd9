// Fixed status texts of the runtime.
#ifndef TARN_RUNTIME_RUNTIME_MESSAGES_H
#define TARN_RUNTIME_RUNTIME_MESSAGES_H

namespace tarn {

inline constexpr char kInvalidAlgorithmMessage[] =
    "WARNING: Invalid integration algorithm was specified.";
inline constexpr char kDefaultAlgorithmMessage[] =
    "The default algorithm (RK4) is being used instead.";
// The execution manager: a debug start on a model without line information, and the end of a
// run by an exception (its text, or the unknown exception text).
inline constexpr char kNoDebugInformationMessage[] =
    "Debug error: model does not contain debugging information.";
inline constexpr char kRunExceptionFormat[] = "Run ended by an exception: %s";
inline constexpr char kUnknownExceptionMessage[] = "unknown exception";
// TarnCreateIndependent with a model that cannot give an instance a data block of its own.
inline constexpr char kNoIndependentInstancesMessage[] =
    "Independent instances are not supported by this model: it registered no data block "
    "functions.";
// Closes the messages of an interval that wrote more than its buffer holds.
inline constexpr char kMessagesLeftOut[] =
    "%llu further messages of this communication interval were left out.\n";

}  // namespace tarn

#endif  // TARN_RUNTIME_RUNTIME_MESSAGES_H
