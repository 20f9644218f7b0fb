#!/usr/bin/env bash
# Installs what the sound benchmark (bench/pulse_bench.py) needs: what the tests need, and
# on top of it the peer player it is compared with, with the GStreamer elements its
# pipelines use to reach PulseAudio, stress-ng for the load and tmux to read pw-top. The
# tests never need these.
# Idempotent and quiet when everything is there; works as root or through sudo.
set -euo pipefail
exec bash "$(dirname "$0")/setup.sh" \
  linux-show-player \
  gir1.2-gstreamer-1.0 gir1.2-gst-plugins-base-1.0 \
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-pulseaudio \
  stress-ng tmux
