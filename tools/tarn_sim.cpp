// tarn-sim: command-line host of the Tarn library.
//
//   tarn-sim [run] [OPTIONS]      run the model, write its time course (the default command)
//   tarn-sim params               every parameter with its default
//   tarn-sim symbols [--type T]   the symbol table
//   tarn-sim outputs              the outputs worth plotting
//   tarn-sim info NAME            one symbol
//   tarn-sim --version            the library's version
//
// Every argument is checked before anything runs: an unknown command, option or symbol, or a
// value that does not parse or is out of range ends the program with status 2 and a message
// naming what was wrong. A run that fails ends it with status 1.
#include <cstdio>
#include <string>

#include "commands.h"
#include "symbol_catalog.h"
#include "tarn/tarn.h"

namespace tarn::sim {
namespace {

const char kUsage[] =
    "usage: tarn-sim [run] [OPTIONS]       run the model and write its time course\n"
    "       tarn-sim params [OPTIONS]      every parameter with its default\n"
    "       tarn-sim symbols [OPTIONS]     the symbol table\n"
    "       tarn-sim outputs [OPTIONS]     the outputs worth plotting, with their meaning\n"
    "       tarn-sim info NAME             one symbol\n"
    "       tarn-sim help [COMMAND]        this text, or a command's own\n"
    "       tarn-sim --version             the library's version\n"
    "\n"
    "Without a command, tarn-sim runs the model.\n"
    "\n";

struct Command {
  const char* name;
  int (*run)(const Arguments&);
  const char* usage;
};

constexpr Command kCommands[] = {
    {"run", RunCommand, kRunUsage},
    {"params", ParamsCommand, kParamsUsage},
    {"symbols", SymbolsCommand, kSymbolsUsage},
    {"outputs", OutputsCommand, kOutputsUsage},
    {"info", InfoCommand, kInfoUsage},
};

const Command* FindCommand(const std::string& name) {
  for (const Command& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

int Help(const Arguments& arguments) {
  if (arguments.empty()) {
    std::fputs(kUsage, stdout);
    std::fputs(kRunUsage, stdout);
    return kExitSuccess;
  }
  const Command* command = FindCommand(arguments[0]);
  if (arguments.size() > 1 || command == nullptr) {
    return UsageError("help takes one command name: run, params, symbols, outputs or info");
  }
  std::fputs(command->usage, stdout);
  return kExitSuccess;
}

int Version() {
  const uint32_t version = TarnGetVersion();
  std::printf("tarn-sim %u.%u\n", version >> 16, version & 0xFFFFu);
  return kExitSuccess;
}

// "--name=value" as the two arguments "--name" "value".
Arguments SplitOptionValues(const Arguments& arguments) {
  Arguments split;
  for (const std::string& argument : arguments) {
    const size_t equals = argument.find('=');
    if (argument.rfind("--", 0) == 0 && equals != std::string::npos) {
      split.push_back(argument.substr(0, equals));
      split.push_back(argument.substr(equals + 1));
    } else {
      split.push_back(argument);
    }
  }
  return split;
}

int Dispatch(const Arguments& arguments) {
  if (arguments.empty() || arguments[0].rfind('-', 0) == 0) {
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
      return Help({});
    }
    if (arguments.size() == 1 && arguments[0] == "--version") return Version();
    return RunCommand(arguments);
  }
  const Arguments rest(arguments.begin() + 1, arguments.end());
  if (arguments[0] == "help") return Help(rest);
  const Command* command = FindCommand(arguments[0]);
  if (command == nullptr) return UsageError("unknown command '" + arguments[0] + "'");
  return command->run(rest);
}

}  // namespace

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tarn-sim: %s\n", message.c_str());
  std::fprintf(stderr, "Try 'tarn-sim --help'.\n");
  return kExitUsage;
}

}  // namespace tarn::sim

int main(int argc, char** argv) {
  TarnInitialize();
  const int status = tarn::sim::Dispatch(
      tarn::sim::SplitOptionValues(tarn::sim::Arguments(argv + 1, argv + argc)));
  TarnFinalize();
  return status;
}
