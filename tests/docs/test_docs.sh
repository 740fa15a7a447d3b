#!/usr/bin/env bash
# The guide's check: first on a small guide with one fault of each kind,
# which it must find, every one and nothing else; then on the source tree.
#   test_docs.sh SOURCE_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/docs" "$work/scripts"
cat >"$work/README.md" <<'EOF'
# A guide
[here](docs/a.md#part-two) ![gone](docs/gone.png) [no part](docs/a.md#nowhere)
[lost](docs/lost.md) [the top](#a-guide)
Run `scripts/run`, then scripts/plain.
```
[in code](docs/none.md)
```
EOF
printf '# A\n## Part two\n[back](../README.md)\n' >"$work/docs/a.md"
touch "$work/scripts/run" "$work/scripts/plain"
chmod +x "$work/scripts/run"
cat >"$work/expected" <<'EOF'
README.md:2: docs/a.md#nowhere: docs/a.md has no heading #nowhere
README.md:2: docs/gone.png: no such file
README.md:3: docs/lost.md: no such file
scripts/plain: named in the guide, but no executable script
4 fault(s) in the guide
EOF
if "$here/check_docs.sh" "$work" >"$work/found"; then
  echo "FAIL: the check passed a guide with four faults" >&2
  exit 1
fi
diff -u "$work/expected" <(sort "$work/found" | grep -v 'fault(s)'; grep 'fault(s)' "$work/found") ||
  { echo "FAIL: the check did not find exactly the faults of the broken guide" >&2; exit 1; }

"$here/check_docs.sh" "$1"
