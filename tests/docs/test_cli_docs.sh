#!/usr/bin/env bash
# orvelle-cli's man page and bash completion against the program itself: every
# option its --help shows is completed and documented, the page formats without
# warnings, and completion offers subcommands, option values and folders.
set -u
cli=$1 man=$2 completion=$3
passed=0 failed=0
check() {  # what, word expected, words offered
  if [[ " $3 " == *" $2 "* ]]; then
    passed=$((passed + 1))
  else
    echo "FAIL: $1: '$2' not in '$3'"
    failed=$((failed + 1))
  fi
}
offered() {  # the words completion offers for the command line given, the cursor on its last word
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _orvelle_cli
  echo "${COMPREPLY[*]}"
}
source "$completion"

warnings=$(groff -man -Tascii -ww -z "$man" 2>&1)
check "groff warnings" "none" "${warnings:-none}"
page=$(groff -man -Tascii -P-cbou -rLL=300n "$man" 2>/dev/null)

subcommands=$(offered orvelle-cli "")
check "subcommands" generate "$subcommands"
check "subcommand prefix" vary "$(offered orvelle-cli va)"
check "global option" --threads "$(offered orvelle-cli --thr)"
check "global option after a subcommand" --threads "$(offered orvelle-cli generate --thr)"
check "choices" jpg "$(offered orvelle-cli generate --format "")"
check "effect names" swirl "$(offered orvelle-cli apply --effect sw)"
check "numbers take no file names" "none" "$(offered orvelle-cli generate --seed "")none"
scratch=$(mktemp -d)
mkdir "$scratch/out" && touch "$scratch/other"
check "output folders" "$scratch/out" "$(offered orvelle-cli generate -o "$scratch/")"
check "folders only" "none" "$(offered orvelle-cli generate -o "$scratch/oth")none"
check "files" "$scratch/other" "$(offered orvelle-cli vary "$scratch/oth")"
rm -rf "$scratch"

for sub in $subcommands; do
  section=$(awk -v s="   $sub" '$0 == s { on = 1; next } /^   [a-z]+$/ || /^[A-Z]/ { on = 0 } on' <<<"$page")
  check "man page section" "$sub" "$([[ -n $section ]] && echo "$sub")"
  options=$(offered orvelle-cli "$sub" -)
  for opt in $("$cli" "$sub" --help | grep -oE '^  -[-A-Za-z0-9,]+' | tr ',' ' '); do
    check "$sub completes" "$opt" "$options"
    check "$sub documents" "$opt" "$(grep -oE -- "(^| )$opt\\b" <<<"$section" | tr -d ' ' | head -1)"
  done
done

echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
