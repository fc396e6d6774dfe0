#!/bin/sh
# Makes the media decoder fuzzer's seeds: a tenth of a second of tone as WMA, MP3 and FLAC,
# made with ffmpeg.
set -e
out="$1"
mkdir -p "$out"
for kind in wma mp3 flac; do
    ffmpeg -nostdin -loglevel error -y -f lavfi -i "sine=frequency=440:duration=0.1" \
        -ac 2 -ar 22050 -b:a 32k -fflags +bitexact -flags:a +bitexact "$out/tone.$kind"
done
