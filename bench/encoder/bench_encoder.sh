#!/bin/bash
# Our conversions against ffmpeg doing the same job with the same libraries, run back to
# back, each to the Zune's 320x240:
#   grain640  60 s of 640x480 MPEG-4 with film grain and MP3 -> H.264 Baseline 768k + AAC
#   phone1080 30 s of portrait 1080p H.264 (turned by its display matrix; bars at the sides)
#   hevc4k10  10 s of 4K HEVC 10-bit (zscale's error-diffusion dithering once small)
#   pgs1080   10 s of 1080p H.264 with Blu-ray subtitles burned in
#   wmv640    the grain640 source through the media component to WMV 8 768k + WMA 2
#             (trelvo-converter --convert --wmv; left out when that program is missing)
# ffmpeg gets the filters our fitting makes (its autorotate turns the phone's picture).
# Every source runs at the output's 29.97 pictures a second: a change of rate would have
# the two pick other pictures now and then, and the scores measure that, not the coding.
# Prints per job: wall and CPU time (user + system, all threads) of both and ours over
# ffmpeg's; `floor`, the wall ratio ours would reach keeping every core busy with the
# work it does now (our CPU time over the cores, over ffmpeg's wall); peak memory; the
# picture's bit rate; PSNR and SSIM of both outputs against the source put through the
# same filters; and profile@level. Then the encoder's progress lines per second on the
# grainy job (the program that runs it wants two or more).
#
# usage: bench_encoder.sh [path/to/trelvo-encoder] [path/to/trelvo-converter] [job...]
# BENCH_RUNS (default 3) sets how many times each side runs; the best time counts.
# BENCH_SECONDS cuts every source to that length, for a quick look.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
encoder=${1:-$here/../../build/bin/app/trelvo-encoder}
converter=${2:-$here/../../build/bin/trelvo-converter}
shift 2 || shift $#
jobs=("$@")
[ ${#jobs[@]} -eq 0 ] && jobs=(grain640 phone1080 hevc4k10 pgs1080 wmv640)

bench=bench_encoder
# shellcheck source=measure.bash
. "$here/measure.bash"
# shellcheck source=../../scripts/make-sup.bash
. "$here/../../scripts/make-sup.bash"

quiet=(-nostdin -hide_banner -loglevel error -y)
zune_h264=(-vcodec h264 -coder 0 -vlevel 13 -bufsize 256 -g 250 -s 320x240 -r 29.97 -b 768
           -aspect 4:3 -ac 2 -ab 128 -ar 48000 -vol 256 -acodec aac -f mp4)
ffmpeg_h264=(-c:v libx264 -preset medium -profile:v baseline -level 13 -coder 0 -bf 0 -g 250
             -r 30000/1001 -aspect 4:3 -b:v 768k -maxrate 768k -bufsize 256k
             -c:a aac -b:a 128k -ac 2 -ar 48000 -movflags +faststart -f mp4)
ffmpeg_wmv=(-r 30000/1001 -c:v wmv2 -b:v 768k -c:a wmav2 -b:a 128k -ar 44100 -ac 2 -f asf)

grain_s=${BENCH_SECONDS:-60}
phone_s=${BENCH_SECONDS:-30}
hevc_s=${BENCH_SECONDS:-10}
pgs_s=${BENCH_SECONDS:-10}

made=()
make_source() {
  case " ${made[*]} " in *" $1 "*) return ;; esac
  made+=("$1")
  case $1 in
  grain)
    ffmpeg "${quiet[@]}" \
      -f lavfi -i "testsrc2=size=640x480:rate=30000/1001:duration=$grain_s,noise=alls=24:allf=t+u" \
      -f lavfi -i "sine=frequency=440:sample_rate=44100:duration=$grain_s" \
      -c:v mpeg4 -q:v 4 -c:a libmp3lame -b:a 128k "$work/grain640.avi" ;;
  landscape)
    ffmpeg "${quiet[@]}" -f lavfi -i "testsrc2=size=1920x1080:rate=30000/1001:duration=$phone_s" \
      -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$phone_s" \
      -c:v libx264 -preset veryfast -pix_fmt yuv420p -c:a aac "$work/landscape.mp4" ;;
  phone)
    make_source landscape
    ffmpeg "${quiet[@]}" -i "$work/landscape.mp4" -c copy -metadata:s:v:0 rotate=90 \
      "$work/phone1080.mp4" ;;
  hevc)
    ffmpeg "${quiet[@]}" -f lavfi -i "testsrc2=size=3840x2160:rate=30000/1001:duration=$hevc_s" \
      -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$hevc_s" \
      -c:v libx265 -preset ultrafast -pix_fmt yuv420p10le -x265-params log-level=none \
      -c:a aac "$work/hevc2160p10.mkv" ;;
  pgs)
    make_source landscape
    # A subtitle shown for all but the last second.
    make_sup "$work/film.sup" 0 $((pgs_s - 1)) 1920 1080 120 900 1680 90
    ffmpeg "${quiet[@]}" -t "$pgs_s" -i "$work/landscape.mp4" -i "$work/film.sup" -map 0 -map 1 \
      -c copy "$work/pgs1080.mkv" ;;
  esac
}

cores=$(nproc)
printf '%-9s %7s %7s %5s %5s  %7s %7s %5s  %6s %6s %5s  %5s %5s  %6s %6s  %7s %7s  %s\n' \
  job ours_s ff_s wall floor ours_cpu ff_cpu cpu ours_MB ff_MB mem ourKb ffKb ourPSNR ffPSNR \
  ourSSIM ffSSIM 'profile@level ours/ff'
# The two commands of an H.264 job: SOURCE [more of our options]; $filters for ffmpeg.
h264() {
  local source=$1
  shift
  ours_cmd=("$encoder" -i "$source" "${zune_h264[@]}" "$work/ours.mp4" "$@")
  ff_cmd=(ffmpeg "${quiet[@]}" -i "$source" -filter_complex "$filters" -map 0:a "${ffmpeg_h264[@]}"
          "$work/ffmpeg.mp4")
}

for job in "${jobs[@]}"; do
  ours_cmd=(); ff_cmd=(); filters=
  case $job in
  grain640)
    make_source grain; source=$work/grain640.avi; filters='[0:v]scale=320:240,setsar=1/1'
    h264 "$source" ;;
  phone1080)
    # Upright, 1080x1920 is 136x240 in the frame, bars at its sides.
    make_source phone; source=$work/phone1080.mp4
    filters='[0:v]scale=136:240,pad=320:240:92:0:black,setsar=1/1'
    h264 "$source" ;;
  hevc4k10)
    make_source hevc; source=$work/hevc2160p10.mkv
    filters='[0:v]scale=320:180,zscale=d=error_diffusion,format=yuv420p,pad=320:240:0:30:black,setsar=1/1'
    h264 "$source" ;;
  pgs1080)
    make_source pgs; source=$work/pgs1080.mkv
    filters='[0:v]scale=320:180[v];[0:s]scale=320:180[s];[v][s]overlay,pad=320:240:0:30:black,setsar=1/1'
    h264 "$source" -subtitles 1 ;;
  wmv640)
    if [ ! -x "$converter" ]; then
      echo "wmv640: no trelvo-converter at $converter; left out"
      continue
    fi
    make_source grain; source=$work/grain640.avi; filters='[0:v]scale=320:240,setsar=1/1'
    mkdir -p "$work/wmv" "$work/xdg"
    # A settings folder of its own, so that the user's Jobs= or folder do not count.
    ours_cmd=(env XDG_CONFIG_HOME="$work/xdg" XDG_CACHE_HOME="$work/xdg" QT_QPA_PLATFORM=offscreen
              "$converter" --convert "$source" --wmv --wmv-profile 0 --output "$work/wmv")
    ff_cmd=(ffmpeg "${quiet[@]}" -i "$source" -filter_complex "$filters" -map 0:a "${ffmpeg_wmv[@]}"
            "$work/ffmpeg.wmv") ;;
  *)
    echo "$bench: no job $job" >&2; exit 2 ;;
  esac

  # Best of $runs, the two taking turns, so that other load on the machine hurts both alike.
  ours_wall=; ff_wall=; ours_cpu=; ff_cpu=; ours_kb=0; ff_kb=0
  for ((run = 0; run < runs; run++)); do
    rm -rf "$work/ours.mp4" "$work/ffmpeg.mp4" "$work/ffmpeg.wmv" "$work/wmv"/*
    read -r wall cpu kb < <(measure "$work/ours.log" "${ours_cmd[@]}")
    ours_wall=$(best "$ours_wall" "$wall"); ours_cpu=$(best "$ours_cpu" "$cpu")
    ours_kb=$((kb > ours_kb ? kb : ours_kb))
    read -r wall cpu kb < <(measure "$work/ffmpeg.log" "${ff_cmd[@]}")
    ff_wall=$(best "$ff_wall" "$wall"); ff_cpu=$(best "$ff_cpu" "$cpu")
    ff_kb=$((kb > ff_kb ? kb : ff_kb))
  done
  if [[ $job == wmv640 ]]; then
    ours_out=$(find "$work/wmv" -name '*.wmv' | head -1); ff_out=$work/ffmpeg.wmv
  else
    ours_out=$work/ours.mp4; ff_out=$work/ffmpeg.mp4
  fi
  [[ $job == grain640 ]] && progress_lines=$(grep -c 'size=' "$work/ours.log" || true) &&
    progress_wall=$ours_wall
  reference "$source" "$work/reference.y4m" "$filters"
  read -r ours_psnr ours_ssim < <(quality "$ours_out" "$work/reference.y4m")
  read -r ff_psnr ff_ssim < <(quality "$ff_out" "$work/reference.y4m")
  rm -f "$work/reference.y4m"
  read -r ours_kbps ours_profile ours_level < <(video_facts "$ours_out")
  read -r ff_kbps ff_profile ff_level < <(video_facts "$ff_out")
  awk -v j="$job" -v ow="$ours_wall" -v fw="$ff_wall" -v oc="$ours_cpu" -v fc="$ff_cpu" -v n="$cores" \
    -v ok="$ours_kb" -v fk="$ff_kb" -v ob="$ours_kbps" -v fb="$ff_kbps" -v op="$ours_psnr" \
    -v fp="$ff_psnr" -v os="$ours_ssim" -v fs="$ff_ssim" \
    -v pl="$ours_profile@$ours_level/$ff_profile@$ff_level" \
    'BEGIN { printf "%-9s %7.2f %7.2f %5.2f %5.2f  %7.2f %7.2f %5.2f  %6.1f %6.1f %5.2f  %5d %5d  %6.2f %6.2f  %7.5f %7.5f  %s\n",
             j, ow, fw, ow / fw, oc / n / fw, oc, fc, oc / fc, ok / 1024, fk / 1024, ok / fk, ob, fb, op, fp, os, fs, pl }'
done
if [[ -n ${progress_lines:-} ]]; then
  awk -v l="$progress_lines" -v w="$progress_wall" \
    'BEGIN { printf "progress lines per second (grain640): %.1f\n", l / w }'
fi
