#!/bin/sh
# makensis for a 64-bit, Unicode installer: CPack has no setting for NSIS's Target, which must
# come before the script, and splits extra arguments at blanks.
exec makensis -X"Target amd64-unicode" "$@"
