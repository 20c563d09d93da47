#!/bin/sh
# makensis for a 64-bit installer: CPack's NSIS script names no target, and
# Debian's makensis would then make a 32-bit one (which 64-bit-only Wine, and
# a 64-bit Windows without its 32-bit layer, cannot run).
exec makensis -XTarget\ amd64-unicode "$@"
