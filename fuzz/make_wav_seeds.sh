#!/usr/bin/env bash
# Makes tiny WAV seeds for the wav fuzz target with sox: every encoding the reader
# takes, a few frames each, mono to eight channels. Usage: make_wav_seeds.sh DIR
set -euo pipefail
out=${1:?usage: make_wav_seeds.sh DIR}
mkdir -p "$out"
tone() { sox -q -n -r "$1" -c "$2" "${@:4}" "$out/$3" synth 0.003 sine 440 2>/dev/null || true; }
tone 8000 1 pcm16.wav -b 16
tone 11025 2 pcm8.wav -b 8 -e unsigned-integer
tone 44100 2 pcm24.wav -b 24
tone 22050 1 pcm32.wav -b 32
tone 8000 1 float32.wav -b 32 -e floating-point
tone 8000 2 float64.wav -b 64 -e floating-point
tone 8000 1 ulaw.wav -e u-law
tone 8000 1 alaw.wav -e a-law
tone 8000 1 ima.wav -e ima-adpcm
tone 8000 2 ms.wav -e ms-adpcm
tone 8000 6 six.wav -b 16
tone 48000 8 eight.wav -b 16
# sox writes WAVE_FORMAT_EXTENSIBLE for more than two channels or deep samples; plain
# PCM headers for them too:
tone 8000 3 plain-3ch.wav -b 24 -t wavpcm
