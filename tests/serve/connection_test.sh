#!/usr/bin/env bash
# Runs the Node test of the same name (Node's own HTTP/2, TLS and TCP clients; no npm packages).
exec node "$(dirname "$0")/connection_test.mjs"
