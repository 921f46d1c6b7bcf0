#!/usr/bin/env bash
# Runs the Node test of the same name (Node's own clients and bash; no npm packages needed).
exec node "$(dirname "$0")/hostile_page_test.mjs"
