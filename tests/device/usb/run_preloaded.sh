#!/bin/sh
# Runs a test program under umockdev's preload library (the emulated USB bus). A sanitizer
# build must not insist that its runtime comes first: the preload library does.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0"
export ASAN_OPTIONS
exec umockdev-wrapper "$@"
