#!/usr/bin/env bash
# Makes the manual pages of the installed programs, section 6 (games), gzipped
# as Debian wants them: tovrane's and tovrane-engine-pro's from their own
# --help (and every subcommand's), so they never disagree with the programs;
# the exact engines' page is written by hand (tovrane-engine.6: they take no
# arguments), linked as tovrane-engine-deep.6 and tovrane-engine-classic.6.
# Usage: make-man-pages.sh OUTDIR VERSION TOVRANE ENGINE_PRO
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
out=$1 version=$2 tovrane=$3 enginePro=$4
mkdir -p "$out"

# Text as roff shows it verbatim: backslashes escaped, hyphens as minus
# signs (the options are typed so), a line starting with . or ' protected.
verbatim() {
  echo '.nf'
  sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
  echo '.fi'
}

seeAlso='.SH SEE ALSO
.BR tovrane (6),
.BR tovrane\-engine (6),
.BR tovrane\-engine\-pro (6);
the README and the pages of
.I /usr/share/doc/tovrane/docs/'

{
  echo ".TH TOVRANE 6 \"\" \"tovrane $version\" \"Games\""
  echo '.SH NAME'
  echo 'tovrane \- analysis, matches, books, training and a web page for the Tovrane engines'
  echo '.SH SYNOPSIS'
  echo '.B tovrane'
  echo '.I SUBCOMMAND'
  echo '[\fIARGUMENTS\fR]'
  echo '.br'
  echo '.B tovrane'
  echo '.I SUBCOMMAND'
  echo '.B \-\-help'
  echo '.SH DESCRIPTION'
  "$tovrane" --help | verbatim
  echo '.SH SUBCOMMANDS'
  for sub in $("$tovrane" --help | sed -n '/^subcommands:/,/^$/s/^  \([a-z][a-z0-9-]*\) .*/\1/p' | sort -u); do
    echo ".SS $sub"
    "$tovrane" "$sub" --help | verbatim
  done
  echo '.SH EXIT STATUS'
  echo '0 on success, 2 for bad arguments; see each subcommand for the others.'
  echo "$seeAlso"
} >"$out/tovrane.6"

{
  echo ".TH TOVRANE\\-ENGINE\\-PRO 6 \"\" \"tovrane $version\" \"Games\""
  echo '.SH NAME'
  echo 'tovrane\-engine\-pro \- the strong Tovrane engine, for a referee on standard input and output'
  echo '.SH SYNOPSIS'
  echo '.B tovrane\-engine\-pro'
  echo '[\fIOPTIONS\fR]'
  echo '.SH DESCRIPTION'
  "$enginePro" --help | sed 's/^usage: engine-pro/usage: tovrane-engine-pro/' | verbatim
  echo '.PP'
  echo 'Installed as'
  echo '.BR tovrane\-engine\-pro ;'
  echo 'the same program is called'
  echo '.B engine\-pro'
  echo 'in a build tree and in the Windows package.'
  echo '.SH EXIT STATUS'
  echo '0 after stop or the end of input, 2 for a bad argument.'
  echo "$seeAlso"
} >"$out/tovrane-engine-pro.6"

cp "$here/tovrane-engine.6" "$out/tovrane-engine.6"
sed -i "s/@VERSION@/$version/" "$out/tovrane-engine.6"
for page in tovrane tovrane-engine-pro tovrane-engine; do
  gzip -9nf "$out/$page.6"
done
ln -sf tovrane-engine.6.gz "$out/tovrane-engine-deep.6.gz"
ln -sf tovrane-engine.6.gz "$out/tovrane-engine-classic.6.gz"
