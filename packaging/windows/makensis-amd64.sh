#!/bin/sh
# makensis for a 64-bit, Unicode installer: CPack has no setting for NSIS's Target, which must
# come before the script, and splits extra arguments at blanks. The script CPack writes is UTF-8,
# whose accents makensis would otherwise read in another character set.
exec makensis -INPUTCHARSET UTF8 -X"Target amd64-unicode" "$@"
