#!/usr/bin/env bash
# Checks the guide in a source tree: every relative link and picture in
# README.md and docs/*.md leads to a file that exists (and a #part to one of
# its headings, as GitHub names them), and every scripts/NAME the pages name
# is there and executable. Prints each fault; exits 1 if there is one.
#   check_docs.sh ROOT
set -euo pipefail
root=$1
cd "$root"
pages=(README.md docs/*.md)

# FILE TARGET LINE for each link and picture, outside code.
links() {
  perl -CSD -ne '
    $fence = !$fence if /^\s*```/;
    next if $fence;
    s/`[^`]*`//g;
    print "$ARGV\t$1\t$.\n" while /\]\(([^)\s]+)(?:\s+"[^"]*")?\)/g;
    close ARGV if eof;' "$@"
}

# The anchors GitHub gives a page's headings: lower case, punctuation gone,
# spaces made hyphens, a repeated one numbered.
anchors() {
  perl -CSD -ne '
    $fence = !$fence if /^\s*```/;
    next if $fence || !/^#{1,6}\s+(.*?)\s*#*\s*$/;
    my $a = lc $1;
    $a =~ s/[^\p{L}\p{N}\p{M} _-]//g;
    $a =~ s/ /-/g;
    print $seen{$a}++ ? "$a-" . ($seen{$a} - 1) : $a, "\n";' "$1"
}

faults=0
fault() { echo "$*"; faults=$((faults + 1)); }

while IFS=$'\t' read -r page target line; do
  case "$target" in http://* | https://* | mailto:*) continue ;; esac
  path=${target%%#*}
  part=${target#"$path"}
  part=${part#\#}
  if [ -z "$path" ]; then
    file=$page
  else
    file=$(realpath -m --relative-to=. "$(dirname "$page")/$path")
  fi
  if [ ! -e "$file" ]; then
    fault "$page:$line: $target: no such file"
    continue
  fi
  if [ -n "$part" ] && [[ $file == *.md ]] && ! anchors "$file" | grep -qxF "$part"; then
    fault "$page:$line: $target: $file has no heading #$part"
  fi
done < <(links "${pages[@]}")

while read -r script; do
  [ -x "$script" ] && [ -f "$script" ] || fault "${script}: named in the guide, but no executable script"
done < <(grep -ohP '(?<![\w./-])scripts/[\w-]+' "${pages[@]}" | sort -u)

[ "$faults" -eq 0 ] || { echo "$faults fault(s) in the guide"; exit 1; }
echo "the guide: ${#pages[@]} pages, every link, picture and script there"
