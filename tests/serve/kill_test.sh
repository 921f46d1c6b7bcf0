#!/usr/bin/env bash
# Runs the Node test of the same name (Node's own HTTP/2 client; no npm packages needed).
exec node "$(dirname "$0")/kill_test.mjs"
