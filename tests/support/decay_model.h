// A runnable test model written like a generated one: y' = rate * y with y(0) = 1, an initial
// section, a run loop ending at tstop, a derivative that divides by zero on request (and is
// undefined before the initial time) and a dynamic
// section that overflows or underflows on request. Registered with debugging information, it keeps
// the source line (10, 11, 12, 10, ... one per pass of its run loop), file and block of its run
// loop current. Layout: t; state y; its derivative; its initial condition; seven variables; the
// control block.
#ifndef TARN_TESTS_SUPPORT_DECAY_MODEL_H
#define TARN_TESTS_SUPPORT_DECAY_MODEL_H

#include <cstdint>

#include "support/control_symbols.h"

namespace tarn::test {

struct DecayModel {
  enum Index : uint32_t {
    kT = 1,
    kY,
    kYRate,
    kYInitial,
    kRate,
    kTstop,
    kDivideByZero,
    kOverflowAt,
    kUnderflowAt,
    kLine,
    kFile,
    kBlock,
    kControl,
    kSymbolCount = kControl + 46,
  };

  static constexpr uint32_t kTextLength = 32;

  struct Block {
    double t = 0;
    double y = 5.5555e+33;
    double yRate = 5.5555e+33;
    double yInitial = 1;
    double rate = -1;
    double tstop = 1;
    uint8_t divideByZero = 0;    // the derivative divides by zero once t > 0
    double overflowAt = 1e300;   // the run loop overflows in passes with t >= overflowAt
    double underflowAt = 1e300;  // the run loop underflows in passes with t >= underflowAt
    int32_t line = 0;
    char file[kTextLength] = "";
    char block[kTextLength] = "";
    ControlSymbols control;
  };

  static constexpr int32_t kFirstLine = 10;  // the run loop's lines are 10, 11 and 12
  static constexpr char kFileName[] = "decay.model";
  static constexpr char kBlockName[] = "dynamic";

  static Block block;
  // Registration entries; both reset the block to its defaults. Without debugging information the
  // line, file and block symbols carry names the debugger does not look for.
  static void Register();
  static void RegisterWithDebugSymbols();
  // Initial sections and run-loop passes since registration.
  static uint32_t initialSections;
  static uint32_t passes;
};

}  // namespace tarn::test

#endif  // TARN_TESTS_SUPPORT_DECAY_MODEL_H
