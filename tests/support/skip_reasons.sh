#!/usr/bin/env bash
# Prints why each test of the run just ended was skipped, one line each, below ctest's summary,
# which names the skipped tests but not why. ctest runs it after the tests (CTEST_CUSTOM_POST_TEST)
# in the build directory, while the run's log is still LastTest.log.tmp:
#   skip_reasons.sh [LOG]
# A test counts as skipped when ctest's skip regular expression matched its output, as it does
# for googletest's "[  SKIPPED ]"; its reason is the text after googletest's "FILE:LINE: Skipped"
# line, or else the last line the test printed. Always exits 0, so that it never fails a run.
log=${1:-Testing/Temporary/LastTest.log.tmp}
[ -r "$log" ] || exit 0
awk '
  /^[0-9]+\/[0-9]+ Test: / {
    name = substr($0, index($0, ": ") + 2)
    output = 0; reasonFollows = 0; reason = ""; last = ""
    next
  }
  /^Output:$/ { getline; output = 1; next }  # the line of dashes that opens the output
  output && /<end of output>$/ {
    sub(/<end of output>$/, "")
    if ($0 != "") last = $0
    output = 0
    next
  }
  output {
    if (reasonFollows && ($0 == "" || /^\[  SKIPPED \]/)) reasonFollows = 0
    else if (reasonFollows) reason = reason (reason == "" ? "" : " ") $0
    else if (/: Skipped$/) reasonFollows = 1
    if ($0 != "") last = $0
    next
  }
  /^Skip regular expression found in output/ {
    if (!heading++) print "\nWhy they were skipped:"
    printf "\t%s: %s\n", name, reason != "" ? reason : last
  }
' "$log"
exit 0
