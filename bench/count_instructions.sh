#!/usr/bin/env bash
# Instructions per run of the runtime and of its two floors, counted by callgrind: the comparison
# of the benchmarks' summary, free of the noise of a shared machine. Needs valgrind.
#
#   bench/count_instructions.sh [build folder] [benchmark regex]
#
# The defaults are build/ and every run that has a direct driver beside it. Each benchmark runs
# under callgrind with the shortest timing; the instructions of its timed calls (the runtime's
# runs, or the direct driver's integrations, not the census run) are divided by their number.
set -euo pipefail

build=${1:-build}
filter=${2:-'^(day|lactation|lactation_dosed)/(dlsodes|cvode)/(runtime|runtime_undeclared|direct|direct_outputs|direct_handover)/'}
bench="$build/tarn_bench"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

printf '%-52s %14s\n' benchmark 'instr per run'
for name in $("$bench" --benchmark_list_tests --benchmark_filter="$filter"); do
  case "$name" in
    */runtime/* | */runtime_undeclared/*) caller=RuntimeRun callee='ModelSession::Run() const' ;;
    */dlsodes/direct*) caller=DirectRun callee=IntegrateWithDlsodes ;;
    */cvode/direct*) caller=DirectRun callee=IntegrateWithCvode ;;
    *) continue ;;
  esac
  valgrind --tool=callgrind --callgrind-out-file="$work/profile" "$bench" \
    --benchmark_filter="^${name}\$" --benchmark_min_time=0.000001 > /dev/null 2>&1
  # In the caller tree, the line "< cost (calls) caller" above "* callee" gives the cost of the
  # callee's calls from that caller. The whole listing is read, so that the pipe stays whole.
  callgrind_annotate --inclusive=yes --tree=caller "$work/profile" 2> /dev/null |
    awk -v caller="$caller" -v callee="$callee" -v name="$name" '
      done { next }
      /^ *[0-9,]+ \([ 0-9.]+%\)  < / { if (index($0, caller)) line = $0; next }
      /^ *[0-9,]+ \([ 0-9.]+%\)  \* / && index($0, callee) && line != "" {
        split(line, fields, " "); cost = fields[1]; gsub(/,/, "", cost)
        calls = line; sub(/.*\(/, "", calls); sub(/x\).*/, "", calls); gsub(/,/, "", calls)
        printf "%-52s %12.1f M\n", name, cost / calls / 1e6
        done = 1
      }
      { line = "" }'
done
