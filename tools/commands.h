// The commands of tarn-sim. Each takes the arguments after its name, checks all of them before
// anything runs, and returns the exit status (symbol_catalog.h).
#ifndef TARN_TOOLS_COMMANDS_H
#define TARN_TOOLS_COMMANDS_H

#include <string>
#include <vector>

namespace tarn::sim {

using Arguments = std::vector<std::string>;

// run: the model from its initial conditions to tstop; the time course to standard output.
int RunCommand(const Arguments& arguments);
extern const char kRunUsage[];

// params: every parameter with its default value.
int ParamsCommand(const Arguments& arguments);
extern const char kParamsUsage[];

// symbols: the symbol table, optionally of one symbol type.
int SymbolsCommand(const Arguments& arguments);
extern const char kSymbolsUsage[];

// outputs: the outputs worth plotting, with their meaning.
int OutputsCommand(const Arguments& arguments);
extern const char kOutputsUsage[];

// info: the description of one symbol.
int InfoCommand(const Arguments& arguments);
extern const char kInfoUsage[];

// Writes "tarn-sim: <message>" and where to find help to standard error; returns kExitUsage.
int UsageError(const std::string& message);

}  // namespace tarn::sim

#endif  // TARN_TOOLS_COMMANDS_H
