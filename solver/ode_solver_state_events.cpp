// State events of the ODE solver: recording the values of the model's zero-crossing functions,
// and their detection, location and service after every step.
#include "solver/ode_solver.h"

namespace tarn {

void OdeSolver::RecordStateEvent(uint32_t id, OdeEventType type, double value, uint32_t sectionArg1,
                                 uint32_t sectionArg2, TarnLogical* activeFlag) {
  // A crossing function seen during the reset turns on the checkpoint before every step.
  if (initializationInProgress) {
    stateEventsDeclared = true;
    return;
  }
  if (!integrator || indVar == nullptr) return;
  // Only the evaluation at the start of a step and the one after it are recorded; stage
  // evaluations inside a step are not.
  EventQueue* queue = integrator->inAuxiliaryEvaluation  ? &crossingsAtStart
                      : integrator->inPostStepEvaluation ? &crossingsAtEnd
                                                         : nullptr;
  if (queue == nullptr) return;
  const double t = *indVar;
  if (auto* event = static_cast<OdeEvent*>(queue->GetEvent(id))) {
    event->SetTimeStamp(t);
    event->value = value;
  } else {
    queue->AddEvent(new OdeEvent(t, id, type, value, sectionArg1, sectionArg2, activeFlag));
  }
}

// Zero crossings between the recorded start and end values are detected, located and serviced
// here after every step. Until that search is in place no crossing is acted on.
bool OdeSolver::HandleStateEvents() { return true; }

}  // namespace tarn
