#!/usr/bin/env bash
# Writes the batch mode's manual page from the program's own --help and --version, so that the
# two can't drift apart: a line "Title:" starts a section, "  term  text" an item whose text
# may go on in deeper-indented lines, and the indented lines before the first section are the
# synopsis, where a deeper-indented line goes on with the usage line above it.
# Usage: manpage.sh <program> <output>
set -euo pipefail
PROGRAM=$1 OUTPUT=$2
export LC_ALL=C.UTF-8

help=$("$PROGRAM" --help)
version=$("$PROGRAM" --version)
name=${version% *}

# Titles in capitals, accented letters too.
CAPITALS='y/abcdefghijklmnopqrstuvwxyzáàâãéêíóôõúç/ABCDEFGHIJKLMNOPQRSTUVWXYZÁÀÂÃÉÊÍÓÔÕÚÇ/'

{
    printf '.TH %s 1 "" "%s" "Comandos do usuário"\n' "$(sed "$CAPITALS; s/-/\\\\-/g" <<<"$name")" \
        "${version//-/\\-}"
    # Line 1 is the usage line with the program's path; line 2 says what the program does.
    tail -n +2 <<<"$help" | awk -v name="$name" '
        function roff(text) {
            gsub(/\\/, "\\e", text)
            gsub(/-/, "\\-", text)
            if (text ~ /^[.\x27]/) text = "\\&" text
            return text
        }
        NR == 1 {
            print ".SH NOME"
            summary = roff($0)
            print roff(name) " \\- " summary
            print ".SH SINOPSE"
            print ".nf"
            print "\\fB" roff(name) "\\fR"
            synopsis = 1
            next
        }
        /^[^ ].*:$/ {
            if (synopsis) { print ".fi"; synopsis = 0 }
            title = substr($0, 1, length($0) - 1)
            print ".SH " title
            next
        }
        /^$/ { if (!synopsis) blank = 1; next }
        synopsis && /^  [^ ]/ { sub(/^ +/, ""); print "\\fB" roff($0) "\\fR"; next }
        synopsis && /^   +[^ ]/ { sub(/^ +/, "    "); print "\\fB" roff($0) "\\fR"; next }
        synopsis {
            # The paragraphs between the synopsis and the first section describe the program.
            print ".fi"
            synopsis = 0
            print ".SH DESCRIÇÃO"
            print summary
            blank = 1
        }
        /^  [^ ]/ && match($0, /[^ ]  +[^ ]/) {
            print ".TP"
            print "\\fB" roff(substr($0, 3, RSTART - 2)) "\\fR"
            text = substr($0, RSTART + 1)
            sub(/^ +/, "", text)
            print roff(text)
            blank = 0
            next
        }
        {
            if (blank) print ".PP"
            blank = 0
            sub(/^ +/, "")
            print roff($0)
        }
        END { if (synopsis) print ".fi" }
    ' | sed "/^\.SH /$CAPITALS"
} >"$OUTPUT.tmp"
mv "$OUTPUT.tmp" "$OUTPUT"
