#!/usr/bin/env bash
# Gives the player a first settings file whose slots hold a starter bank, as an installer
# shipping sounds would: only when there is no settings file yet. An existing one (the
# player finds its name whatever the case) is never touched, not even read.
#
#   starter-settings.sh <bank file> [<config folder>]
#
# The config folder is the player's: $XDG_CONFIG_HOME/qksonnerix (~/.config/qksonnerix)
# unless given. The bank file is the player's own format: a six-character mark, then one
# DOS path per line (F1 takes the first, twelve at most). The settings file gets those
# paths as Wave1, Wave2, ... and the bank's folder as the place where "Load QK-file"
# opens (Savefile). The program writes its option defaults itself on its first start.
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: starter-settings.sh <bank file> [<config folder>]" >&2
  exit 2
fi
bank=$1
config=${2:-${XDG_CONFIG_HOME:-$HOME/.config}/qksonnerix}

if [ -d "$config" ] && [ -n "$(find "$config" -maxdepth 1 -iname ZELVRANT.INI -print -quit)" ]; then
  exit 0
fi
[ -f "$bank" ] || { echo "starter-settings: no bank file $bank" >&2; exit 1; }

folder="$(cd "$(dirname "$bank")" && pwd)"
mkdir -p "$config"
ini="$config/ZELVRANT.INI"
tmp="$(mktemp "$config/.starter.XXXXXX")"
trap 'rm -f "$tmp"' EXIT
{
  printf '[QK_Pex]\r\n'
  n=0
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%$'\r'}
    [ -n "$line" ] || continue
    n=$((n + 1))
    [ "$n" -le 12 ] || break
    printf 'Wave%d=%s\r\n' "$n" "$line"
  done < <(tail -c +7 "$bank")
  printf '[QK_Wav]\r\n'
  printf 'Savefile=Z:%s\\*.QK\r\n' "${folder//\//\\}"
} >"$tmp"
chmod 644 "$tmp"
# A link fails if a file of that name has come meanwhile: it is kept, not replaced.
if ln "$tmp" "$ini" 2>/dev/null; then
  echo "The first settings file holds the samples of $bank: F1 plays the first."
fi
