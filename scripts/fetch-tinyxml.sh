#!/usr/bin/env bash
# Fetches TinyXML's Debian source package into DEST/tinyxml: scripts/fetch-tinyxml.sh DEST
exec "$(dirname "$0")/fetch-debian-source.sh" "$1" tinyxml
