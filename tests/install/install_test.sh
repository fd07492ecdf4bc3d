#!/usr/bin/env bash
# Installs the build into a fresh prefix and starts the installed programs with an empty
# environment (env -i, with only KYTO_ROOT, which points them at a copy of the sample appliance):
# they must find the project's libraries in the prefix with no ldconfig and no LD_LIBRARY_PATH.
# The README's commands for the installed manual pages and completion work on the prefix.
#   install_test.sh BUILD_DIR LIBDIR INSTALL_TEST_TOOLS(ON|OFF) EXAMPLES_DIR
set -euo pipefail
build=$1
libdir=$2
test_tools=$3
examples=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
root=$work/root
cmake --install "$build" --prefix "$prefix" >/dev/null
cp -a "$examples/root/." "$root/"

failures=0
fail() {
  echo "FAILED: $*"
  failures=$((failures + 1))
}

# Every library of the project resolves inside the prefix, whatever the machine has elsewhere.
for program in clientadm treeshaper; do
  loaded=$(env -i LD_TRACE_LOADED_OBJECTS=1 "$prefix/bin/$program")
  [[ $loaded != *"not found"* ]] || fail "$program: a library is not found:"$'\n'"$loaded"
done
loaded=$(env -i LD_TRACE_LOADED_OBJECTS=1 "$prefix/bin/clientadm")
found=$(sed -n "s|^\s*libkytocorvi.so.1 => \(.*\) (0x.*|\1|p" <<<"$loaded")
if [ -z "$found" ] || [ "$(realpath "$found")" != "$(realpath "$prefix/$libdir/libkytocorvi.so.1")" ]; then
  fail "clientadm does not load libkytocorvi.so.1 from the prefix:"$'\n'"$loaded"
fi

# The programs run. list runs only in a private IPC namespace, so that it never reads the
# machine's own client cache segment; where none can be made, that check is skipped.
ipc=()
if unshare --ipc true 2>/dev/null; then ipc=(unshare --ipc); fi
check() {
  local expected=$1 got status=0
  shift
  got=$("$@" 2>&1) || status=$?
  [[ $status -eq 0 && $got == *"$expected"* ]] ||
    fail "$* (exit status $status) printed:"$'\n'"$got"
}
run=(env -i "KYTO_ROOT=$root")
if [ ${#ipc[@]} -gt 0 ]; then
  check "0|00:1d:5a:10:22:01|" "${ipc[@]}" "${run[@]}" "$prefix/bin/clientadm" list
else
  echo "skipped clientadm list: no private IPC namespace can be made here (unshare --ipc failed)"
fi
check "00:01:05" "${run[@]}" "$prefix/bin/clientadm" getDuration \
  --filePath "$root/share/Multimedia/demo clip.mp4"
check "2 Album" "${run[@]}" "$prefix/bin/treeshaper" --list Music

# A plain install keeps its documents in one folder named for the project, none of a package's.
docs=$(cd "$prefix/share/doc" && find . -type f | sort | tr '\n' ' ')
[ "$docs" == "./kyto/changelog.gz ./kyto/copyright " ] || fail "the documents are installed as: $docs"

# The README's commands for reading an installed page and loading the completion, on this prefix.
readme=$(tr '\n' ' ' <"$examples/../README.md")
readme_command() { # the README's first `...` that begins with $1
  local found
  found=$(grep -o "\`$1[^\`]*\`" <<<"$readme" | head -n 1 | tr -d '\`')
  [ -n "$found" ] || echo "FAILED: the README gives no command that begins with $1" >&2
  sed -E "s,/usr/local/share/(man|bash-completion)/,$prefix/share/\1/,; s,PREFIX,$prefix," <<<"$found"
}
if command -v mandoc >/dev/null; then
  check "add, delete and list the clients" bash -c "$(readme_command "mandoc -l /usr/local/")"
fi
check "complete -F _clientadm clientadm" \
  bash -c "$(readme_command "source /usr/local/")"' && complete -p clientadm'
if [ -r /usr/share/bash-completion/bash_completion ]; then
  # bash-completion's loader, run as bash runs it on a command's first TAB.
  check "complete -F _clientadm clientadm" env -u XDG_DATA_DIRS \
    bash -c "$(readme_command "export XDG_DATA_DIRS=")"'
      . /usr/share/bash-completion/bash_completion
      $(complete -p -D | sed "s/.*-F \([^ ]*\).*/\1/") clientadm "" clientadm
      complete -p clientadm'
fi

# The test tools are installed only when asked for.
for tool in halyard kyto-dmscache; do
  if [ "$test_tools" = ON ]; then
    [ -x "$prefix/bin/$tool" ] || fail "$tool is not installed although asked for"
  else
    [ ! -e "$prefix/bin/$tool" ] || fail "$tool is installed without KYTO_INSTALL_TEST_TOOLS"
  fi
done

[ "$failures" -eq 0 ] || exit 1
echo "installed programs start from $prefix"
