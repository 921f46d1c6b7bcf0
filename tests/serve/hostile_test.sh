#!/usr/bin/env bash
# Runs the Node test of the same name (Node's own HTTP/2 and TLS clients; no npm packages needed).
exec node "$(dirname "$0")/hostile_test.mjs"
