#!/bin/bash
# Fills a cache folder with real media taken from Debian packages, plus
# awkward cases derived from them with ffmpeg. Usage: real-media.sh CACHE
# Exits 0 when the cache is ready, 3 (with one line on stderr) when the media
# cannot be had, anything else on a fault.
set -euo pipefail

STAMP="real-media version 1"

if [[ $# -ne 1 || -z $1 ]]; then
  echo "usage: real-media.sh CACHE" >&2
  exit 2
fi
CACHE=$1
unavailable() {
  echo "real media unavailable: $*" >&2
  exit 3
}
is_ready() { [[ -f $CACHE/ready && $(<"$CACHE/ready") == "$STAMP" ]]; }

is_ready && exit 0

mkdir -p "$CACHE/debs" || unavailable "cannot create $CACHE"
for tool in ffmpeg ffprobe apt-get dpkg flock; do
  command -v "$tool" >/dev/null || unavailable "$tool not found"
done

# Test programs may run side by side: one fills the cache, the others wait.
exec 9>"$CACHE/.lock"
flock 9
is_ready && exit 0
rm -f "$CACHE/ready"

# Scratch space inside the cache, so every rename below stays atomic.
rm -rf "$CACHE"/.work-* "$CACHE"/.tmp-*
WORK=$(mktemp -d "$CACHE/.work-XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# Package, file inside it, name in the cache. The packages are small ones
# that happen to ship real recordings and pictures.
FILES=(
  "python3-hug-doc usr/share/doc/python3-hug/examples/streaming_movie_server/movie.mp4 real-video.mp4"
  "sound-theme-freedesktop usr/share/sounds/freedesktop/stereo/alarm-clock-elapsed.oga real-sound.oga"
  "sound-theme-freedesktop usr/share/sounds/freedesktop/stereo/service-login.oga real-sound-22k.oga"
  "libmediastreamer-data usr/share/mediastreamer2/images/nowebcamCIF.jpg cover.jpg"
)

fetch_deb() {
  local pkg=$1 debs=("$CACHE/debs/$1"_*.deb)
  [[ -f ${debs[0]} ]] && return 0
  local dl=$WORK/dl-$pkg
  mkdir -p "$dl"
  if ! (cd "$dl" && apt-get download "$pkg") >"$WORK/apt.log" 2>&1; then
    apt-get update >>"$WORK/apt.log" 2>&1 || true
    (cd "$dl" && apt-get download "$pkg") >>"$WORK/apt.log" 2>&1 ||
      unavailable "apt-get download $pkg failed: $(grep -E '^(E|W):' "$WORK/apt.log" | tail -n1)"
  fi
  debs=("$dl/$pkg"_*.deb)
  [[ -f ${debs[0]} ]] || unavailable "apt-get download $pkg gave no .deb"
  mv "${debs[0]}" "$CACHE/debs/"
}

for entry in "${FILES[@]}"; do
  read -r pkg inner name <<<"$entry"
  fetch_deb "$pkg"
  if [[ ! -d $WORK/x-$pkg ]]; then
    debs=("$CACHE/debs/$pkg"_*.deb)
    if ! dpkg -x "${debs[0]}" "$WORK/x-$pkg"; then
      rm -f "${debs[0]}"
      unavailable "cannot unpack ${debs[0]}"
    fi
  fi
  [[ -f $WORK/x-$pkg/$inner ]] || unavailable "$pkg no longer ships /$inner"
  cp "$WORK/x-$pkg/$inner" "$CACHE/.tmp-$name"
  mv "$CACHE/.tmp-$name" "$CACHE/$name"
done

VIDEO=$CACHE/real-video.mp4
SOUND=$CACHE/real-sound.oga
PICTURE=$CACHE/cover.jpg
X264=(-c:v libx264 -preset veryfast -crf 26 -pix_fmt yuv420p)
AAC=(-c:a aac -b:a 96k)

# derive NAME ffmpeg-arguments...: writes under a temporary name (same
# extension, so ffmpeg picks the same muxer), then renames.
derive() {
  local name=$1
  shift
  ffmpeg -nostdin -hide_banner -loglevel error -y "$@" "$CACHE/.tmp-$name"
  mv "$CACHE/.tmp-$name" "$CACHE/$name"
}
probe() { ffprobe -v error "$@"; }
check() {
  local what=$1 got=$2 want=$3
  [[ $got == "$want" ]] || {
    echo "real-media.sh: $what is '$got', expected '$want'" >&2
    exit 1
  }
}

# Landscape 1280x720 with a display matrix asking for a quarter turn
# clockwise, as a phone held upright writes it. ffmpeg 5.1 turns the tag
# "rotate=270" into that matrix (ffprobe reports -90); "rotate=90" would give
# the opposite turn.
ffmpeg -nostdin -hide_banner -loglevel error -i "$VIDEO" -t 3 -vf scale=1280:720,setsar=1 \
  "${X264[@]}" "${AAC[@]}" "$WORK/upright.mp4"
derive rotated.mp4 -i "$WORK/upright.mp4" -map 0 -c copy -metadata:s:v:0 rotate=270
check "rotated.mp4 rotation" \
  "$(probe -select_streams v:0 -show_entries stream_side_data=rotation -of csv=p=0 "$CACHE/rotated.mp4" | tr -d '\n')" -90

# PAL 16:9 with non-square pixels.
derive anamorphic.mkv -i "$VIDEO" -t 3 -vf scale=720:576,setsar=64/45 "${X264[@]}" "${AAC[@]}"
check "anamorphic.mkv aspect" \
  "$(probe -select_streams v:0 -show_entries stream=width,height,sample_aspect_ratio -of csv=p=0 "$CACHE/anamorphic.mkv")" \
  "720,576,64:45"

# Portrait from the middle of the picture, and plain 16:9.
derive portrait.mp4 -i "$VIDEO" -t 3 -vf "crop=ih*9/16:ih,scale=480:854,setsar=1" "${X264[@]}" "${AAC[@]}"
derive wide.mp4 -i "$VIDEO" -t 3 -vf scale=854:480,setsar=1 "${X264[@]}" "${AAC[@]}"

# Two sound tracks; the second, not the first, is the default one.
derive two-tracks.mkv -i "$VIDEO" -f lavfi -i sine=frequency=440:sample_rate=48000 \
  -f lavfi -i sine=frequency=880:sample_rate=48000 -t 3 -map 0:v:0 -map 1:a -map 2:a \
  -vf scale=320:-2 "${X264[@]}" "${AAC[@]}" \
  -metadata:s:a:0 language=eng -metadata:s:a:1 language=deu \
  -disposition:a:0 0 -disposition:a:1 default
check "two-tracks.mkv default flags" \
  "$(probe -select_streams a -show_entries stream_disposition=default -of csv=p=0 "$CACHE/two-tracks.mkv" | tr '\n' ' ')" \
  "0 1 "

# MP3 with the picture as cover art and ID3 tags.
derive cover.mp3 -i "$SOUND" -i "$PICTURE" -t 4 -map 0:a -map 1:v -c:a libmp3lame -b:a 128k \
  -c:v copy -disposition:v attached_pic -id3v2_version 3 \
  -metadata title="Cover Song" -metadata artist="Test Artist" -metadata album="Test Album" \
  -metadata track=3 -metadata date=2019
check "cover.mp3 picture" \
  "$(probe -select_streams v -show_entries stream_disposition=attached_pic -of csv=p=0 "$CACHE/cover.mp3")" 1

# Ogg Vorbis: its tags live in the stream's comment header.
derive stream-tags.ogg -i "$SOUND" -t 4 -map 0:a -c:a libvorbis -q:a 3 -map_metadata -1 \
  -metadata:s:a:0 title="Stream Song" -metadata:s:a:0 artist="Stream Artist" \
  -metadata:s:a:0 album="Stream Album" -metadata:s:a:0 track=5 -metadata:s:a:0 date=2021
check "stream-tags.ogg stream title" \
  "$(probe -select_streams a:0 -show_entries stream_tags=title -of csv=p=0 "$CACHE/stream-tags.ogg")" "Stream Song"

# A WAV holding exactly five samples of the real sound.
derive five-samples.wav -ss 1 -i "$SOUND" -map 0:a -af aresample=44100,atrim=end_sample=5 \
  -ac 1 -c:a pcm_s16le -map_metadata -1 -fflags +bitexact
check "five-samples.wav samples" \
  "$(probe -show_entries stream=duration_ts -of csv=p=0 "$CACHE/five-samples.wav")" 5

# Raw MPEG-1 video elementary stream, 100 frames at 25 fps.
derive mpeg1.mpg -i "$VIDEO" -map 0:v:0 -vf fps=25 -frames:v 100 -c:v mpeg1video -q:v 4 -f mpeg1video
check "mpeg1.mpg frames" \
  "$(probe -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$CACHE/mpeg1.mpg")" 100

# AVI with MPEG-4 video (mpeg4 encoder) and AC-3 sound.
derive real-av.avi -i "$VIDEO" -t 3 -c:v mpeg4 -q:v 5 -c:a ac3 -b:a 128k

echo "$STAMP" >"$CACHE/.tmp-ready"
mv "$CACHE/.tmp-ready" "$CACHE/ready"
