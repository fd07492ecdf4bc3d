#!/usr/bin/env bash
# Remakes the small media files that the tests and the demo read. Neither the build nor the tests
# run this: the files are kept in the repository so that FFmpeg's command-line program, and the
# X11, Mesa and audio libraries it brings, are needed by no one. Run it only to change a file;
# it needs the Debian package ffmpeg (5.1) and writes bit-exact output, so an unchanged recipe
# gives unchanged files.
set -euo pipefail
cd "$(dirname "$0")"
ff=(ffmpeg -nostdin -v error -y)
exact=(-fflags +bitexact -flags:v +bitexact -flags:a +bitexact -map_metadata -1)
x264=(-c:v libx264 -x264-params no-info=1 -pix_fmt yuv420p)

# 1.5 s of H.264 (64x48, 10 frames/s) and AAC (44.1 kHz, mono) in MP4.
"${ff[@]}" -f lavfi -i testsrc=duration=1.5:size=64x48:rate=10 \
  -f lavfi -i sine=duration=1.5:sample_rate=44100 -shortest "${x264[@]}" -crf 45 \
  -c:a aac -b:a 8k "${exact[@]}" clip.mp4

# 2 s of H.264 in Matroska, without sound.
"${ff[@]}" -f lavfi -i testsrc=duration=2:size=32x32:rate=5 "${x264[@]}" -crf 40 \
  "${exact[@]}" silent.mkv

# 2.5 s of MP3 at 8 kbit/s with a cover picture and tags for year, track and disc.
"${ff[@]}" -f lavfi -i sine=duration=2.5:sample_rate=8000 \
  -f lavfi -i color=c=red:s=32x32:d=0.1 -map 0:a -map 1:v -frames:v 1 \
  -c:a libmp3lame -b:a 8k -c:v mjpeg -disposition:v:0 attached_pic "${exact[@]}" \
  -metadata date=2019-05-01 -metadata track=3/12 -metadata disc=2 song.mp3

# The demo's clip: 65 s of one colour, so that its duration shows minutes and seconds.
"${ff[@]}" -f lavfi -i color=c=0x336699:duration=65:size=160x120:rate=1 "${x264[@]}" \
  "${exact[@]}" "../../examples/root/share/Multimedia/demo clip.mp4"
ls -l clip.mp4 silent.mkv song.mp3 "../../examples/root/share/Multimedia/demo clip.mp4"
