#!/bin/sh
# Makes the MPEG Layer-3 stream fuzzer's seed: a short tone made with sox and lame, behind the
# four bytes that choose the declared format (mono, 22050 Hz) and the cutting.
set -e
out="$1"
work="$out.work"
mkdir -p "$work"
sox -n -r 22050 -c 1 -b 16 "$work/tone.wav" synth 0.3 sine 440
lame --quiet -b 32 "$work/tone.wav" "$work/tone.mp3"
printf '\010\030\020\003' > "$out"
cat "$work/tone.mp3" >> "$out"
rm -r "$work"
