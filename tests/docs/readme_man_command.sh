#!/usr/bin/env bash
# The README's command for reading a manual page before installing runs with what the dependency
# script installs: its program comes from one of the script's packages, and it renders the page.
set -euo pipefail
top=$1
command=$(tr '\n' ' ' <"$top/README.md" | grep -o 'before installing with `[^`]*`' | head -n 1 |
  sed 's/.*`\(.*\)`/\1/')
[ -n "$command" ] || { echo "README gives no command for reading a manual page"; exit 1; }
program=${command%% *}
package=$(dpkg -S "$(command -v "$program" || echo "/usr/bin/$program")" 2>/dev/null | cut -d: -f1 ||
  true)
[ -n "$package" ] || { echo "$program belongs to no installed package"; exit 1; }
grep -qw -- "$package" "$top/scripts/install-deps.sh" ||
  { echo "$program comes from $package, which scripts/install-deps.sh does not install"; exit 1; }
cd "$top"
output=$(MANPAGER=cat PAGER=cat $command </dev/null)
grep -q "clientadm" <<<"$output" || { echo "$command printed no page"; exit 1; }
