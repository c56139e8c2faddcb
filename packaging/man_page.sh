#!/usr/bin/env bash
# Writes the gzipped manual page of one program: its name and summary, its
# usage as the program itself prints it with --help (or as given), and a
# description.
#   man_page.sh OUTPUT NAME VERSION SUMMARY DESCRIPTION (--help-of PROGRAM | --usage TEXT)
set -euo pipefail
out=$1 name=$2 version=$3 summary=$4 description=$5 how=$6 what=$7

# Text as roff takes it literally: backslashes escaped, no line starting a
# request.
literal() { sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }

if [[ $how == --help-of ]]; then
  # A neutral environment, so that nothing of the build machine shows.
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  usage=$(env -i PATH=/usr/bin:/bin HOME="$scratch" VESPER_HOME="$scratch" \
    VESPER_REGISTRY='~/.config/vesper/registry.sqlite' QT_QPA_PLATFORM=offscreen \
    timeout 30 "$what" --help 2>&1 </dev/null || true)
  if [[ $usage != *usage:* ]]; then
    echo "man_page.sh: $what --help printed no usage: $usage" >&2
    exit 1
  fi
else
  usage=$what
fi

{
  printf '.TH %s 1 "" "Vesper Home %s" "User Commands"\n' "${name^^}" "$version"
  printf '.SH NAME\n%s \\- %s\n' "$name" "$summary"
  printf '.SH SYNOPSIS\n.nf\n'
  literal <<<"$usage"
  printf '.fi\n.SH DESCRIPTION\n'
  literal <<<"$description"
  printf '.SH SEE ALSO\nThe guide to Vesper Home: /usr/share/doc/vesper-home/README.md\n'
} >"$out.roff"
gzip -9n <"$out.roff" >"$out.part"
mv -f "$out.part" "$out"
rm -f "$out.roff"
