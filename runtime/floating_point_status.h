// The one place that touches the processor's floating-point exception flags. The flags belong to
// the calling thread.
#ifndef TARN_RUNTIME_FLOATING_POINT_STATUS_H
#define TARN_RUNTIME_FLOATING_POINT_STATUS_H

namespace tarn {

// Clears every floating-point exception flag of the calling thread.
void ClearFloatingPointStatus();

// True when an overflow, a division by zero or an invalid operation has raised its flag since the
// flags were last cleared. Inexact, underflow and denormal results do not count.
bool FloatingPointFaultRaised();

// True when any flag but inexact has been raised since the flags were last cleared: underflow
// counts too. The debugger's check at the end of each communication interval.
bool FloatingPointFlagOtherThanInexactRaised();

}  // namespace tarn

#endif  // TARN_RUNTIME_FLOATING_POINT_STATUS_H
