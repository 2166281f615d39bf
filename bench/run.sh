#!/usr/bin/env bash
# The benchmark: makes three movies with ffmpeg, then measures qtsource against
# ffprobe, ffmpeg and cat on them, side by side in one run, and prints one
# table with the ratios and the targets they are held to.
#
#   bench/run.sh [--update-readme]
#
#   open time     qtsource info            vs  ffprobe -show_streams
#   streaming     qtsource dump --null     vs  ffmpeg -c copy (H.264 as Annex B, AAC as ADTS) to
#                                              the null device, and cat FILE > /dev/null
#   peak memory   the peak resident set of each of those processes
#   seek latency  a new start position to the first delivered sample, in process (Google Benchmark)
#
# Every figure is the median of QT_BENCH_RUNS runs (5) after one run that warms
# the page cache. The movies are made once into QT_BENCH_DIR/movies (build/bench).
# --update-readme writes the table into README.md between its bench markers.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
work="${QT_BENCH_DIR:-$root/build/bench}"
runs="${QT_BENCH_RUNS:-5}"
update_readme=0
for argument in "$@"; do
    case "$argument" in
    --update-readme) update_readme=1 ;;
    *) echo "usage: bench/run.sh [--update-readme]" >&2; exit 2 ;;
    esac
done

source "$root/scripts/install-deps.sh"
qt_packages+=(libbenchmark-dev)
install_deps

build="$work/build"
mkdir -p "$work/movies"
echo "== building qtsource and the benchmarks (in $build)" >&2
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCH=ON \
    > "$work/configure.log" 2>&1 || { tail -20 "$work/configure.log"; exit 1; }
cmake --build "$build" -j "$(nproc)" --target qtsource bench_measure seek_latency > "$work/build.log" 2>&1 ||
    { grep -E 'error|FAILED' "$work/build.log" | head -20; exit 1; }
qtsource="$build/tools/qtsource"
measure="$build/bench/bench_measure"
seek_latency="$build/bench/seek_latency"

# ---- The movies ----------------------------------------------------------------
# Low-resolution test pictures and a tone, muxed as ffmpeg does by default: the
# movie box at the end, and for two hours a sample-to-chunk table of about two
# hundred thousand entries. The 1080p movie gets noise so that it needs its
# 20 Mbit/s.
make_movie() { # name, seconds, picture size, video options...
    local name="$1" seconds="$2" size="$3"
    shift 3
    local movie="$work/movies/$name.mp4"
    [ -s "$movie" ] && return 0
    echo "== making $name.mp4 ($seconds s)" >&2
    ffmpeg -v error -y -f lavfi -i "testsrc2=size=$size:rate=30:duration=$seconds" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=$seconds" \
        "$@" -pix_fmt yuv420p -c:a aac -ac 2 "$work/movies/$name.tmp.mp4"
    mv "$work/movies/$name.tmp.mp4" "$movie"
}
low_resolution=(-c:v libx264 -preset ultrafast -g 30 -b:a 32k)
make_movie two-hours 7200 64x64 "${low_resolution[@]}"
make_movie one-minute 60 64x64 "${low_resolution[@]}"
make_movie 1080p 120 1920x1080 -vf noise=alls=12:allf=t -c:v libx264 -preset ultrafast -b:v 20M -minrate 20M \
    -maxrate 20M -bufsize 20M -b:a 128k
# Two hours at a variable rate with B-frames: every other picture lasts 1.3
# frames, so that each sample has an entry of its own in the decoding time and
# the composition offset tables, which the pins read from the file.
make_movie vfr-two-hours 7200 64x64 -vf "settb=1/90000,setpts='(N+0.3*mod(N,2))/(30*TB)'" -fps_mode vfr \
    -enc_time_base:v 1:90000 -video_track_timescale 90000 -c:v libx264 -preset ultrafast -bf 3 -g 30 -b:a 32k
# Two hours of the kinds whose samples are found differently: HEVC pictures,
# and PCM sound whose constant sample size leaves no table of sizes, delivered
# in 100 ms pieces. x265 at 64x64 makes it in a few minutes.
hevc_pcm="$work/movies/hevc-pcm-two-hours.mov"
if [ ! -s "$hevc_pcm" ]; then
    echo "== making hevc-pcm-two-hours.mov (7200 s)" >&2
    ffmpeg -v error -y -f lavfi -i "testsrc2=size=64x64:rate=30:duration=7200" \
        -f lavfi -i "sine=frequency=440:sample_rate=48000:duration=7200" -c:v libx265 -preset ultrafast \
        -x265-params log-level=none:keyint=30 -pix_fmt yuv420p -c:a pcm_s16le -ac 1 "$work/movies/hevc-pcm.tmp.mov"
    mv "$work/movies/hevc-pcm.tmp.mov" "$hevc_pcm"
fi
# The two-hour movie as screen recorders write it: fragments of two seconds
# after an empty movie box, with the fragment random access box at the end,
# and the same without that box.
make_fragmented() { # name, movie flags
    local movie="$work/movies/$1.mp4"
    [ -s "$movie" ] && return 0
    echo "== making $1.mp4" >&2
    ffmpeg -v error -y -i "$work/movies/two-hours.mp4" -c copy -min_frag_duration 2000000 -movflags "$2" \
        "$work/movies/$1.tmp.mp4"
    mv "$work/movies/$1.tmp.mp4" "$movie"
}
make_fragmented fragmented-two-hours +frag_keyframe+empty_moov
make_fragmented fragmented-no-mfra +frag_keyframe+empty_moov+skip_trailer
movies=(two-hours one-minute 1080p vfr-two-hours hevc-pcm-two-hours fragmented-two-hours fragmented-no-mfra)
declare -A extension=([hevc-pcm-two-hours]=mov)

# ---- Measuring -------------------------------------------------------------------
# Results go into an associative table: result[movie.tool.figure].
declare -A result
run_measure() { # movie, tool, program and arguments...
    local movie="$1" tool="$2"
    shift 2
    local line
    line=$("$measure" "$runs" "$@") || { echo "$tool failed on $movie.mp4: $*" >&2; exit 1; }
    result[$movie.$tool.ms]=$(sed -n 's/.*wall_ms=\([0-9.]*\).*/\1/p' <<< "$line")
    result[$movie.$tool.kib]=$(sed -n 's/.*rss_kib=\([0-9]*\).*/\1/p' <<< "$line")
}

for movie in "${movies[@]}"; do
    file="$work/movies/$movie.${extension[$movie]:-mp4}"
    echo "== measuring ${file##*/}" >&2
    result[$movie.bytes]=$(stat -c %s "$file")
    result[$movie.samples]=$("$qtsource" info "$file" | sed -n 's/.*Sample count:\([0-9]*\).*/\1/p' |
        awk '{ total += $1 } END { print total }')
    run_measure "$movie" info "$qtsource" info "$file"
    run_measure "$movie" ffprobe ffprobe -v error -show_streams "$file"
    run_measure "$movie" dump "$qtsource" dump --null "$file"
    # As the pins deliver them: Annex B pictures, ADTS frames or PCM as WAV.
    case "$movie" in
    hevc-pcm-*) copy=(-bsf:v hevc_mp4toannexb -f hevc -y /dev/null -map 0:a:0 -c copy -f wav) ;;
    *) copy=(-bsf:v h264_mp4toannexb -f h264 -y /dev/null -map 0:a:0 -c copy -f adts) ;;
    esac
    run_measure "$movie" ffmpeg ffmpeg -v error -i "$file" -map 0:v:0 -c copy "${copy[@]}" -y /dev/null
    run_measure "$movie" cat cat "$file"
done

echo "== measuring seek latency on two-hours.mp4 and vfr-two-hours.mp4" >&2
# One process a run, each reporting the mean of its seeks; the median is taken
# here, across processes.
seek_mean() { # pin index: its mean in microseconds, from $seek_csv
    awk -F, -v name="\"SeekToFirstSample/$1/real_time\"" '$1 == name { printf "%.0f", $3 }' <<< "$seek_csv"
}
median() { printf '%s\n' "$@" | sort -n | awk '{ value[NR] = $1 } END { print (NR % 2) ? value[(NR + 1) / 2] : (value[NR / 2] + value[NR / 2 + 1]) / 2 }'; }
for movie in two-hours vfr-two-hours; do
    seek_video=() seek_audio=()
    for ((run = 0; run < runs; run++)); do
        seek_csv=$("$seek_latency" "$work/movies/$movie.mp4" --benchmark_format=csv 2> "$work/seek.log") ||
            { cat "$work/seek.log" >&2; exit 1; }
        seek_video+=("$(seek_mean 0)")
        seek_audio+=("$(seek_mean 1)")
    done
    result[$movie.seek.video]=$(median "${seek_video[@]}")
    result[$movie.seek.audio]=$(median "${seek_audio[@]}")
done

# ---- The table -----------------------------------------------------------------------
calc() { awk "BEGIN { printf \"$1\", $2 }"; }
holds() { awk "BEGIN { print ($1) ? \"yes\" : \"**no**\" }"; }
mb_s() { calc "%.0f" "${result[$1.bytes]} / 1e6 / (${result[$1.$2.ms]} / 1000)"; }
samples_s() { calc "%.0f" "${result[$1.samples]} / (${result[$1.$2.ms]} / 1000)"; }
mib() { calc "%.1f" "${result[$1.$2.kib]} / 1024"; }
ms() { calc "%.1f" "${result[$1.$2.ms]}"; }

# A two-hour movie held to the marks of the H.264 ones: its open time against
# ffprobe's and the one-minute movie's, its memory against the two-hour H.264
# movie's, its samples/s against ffmpeg's. Reads h and m of table().
long_movie_targets() { # label, movie
    local label="$1" k="$2" vs_probe vs_minute memory_over samples_vs_ffmpeg
    vs_probe=$(calc "%.3f" "${result[$k.info.ms]} / ${result[$k.ffprobe.ms]}")
    vs_minute=$(calc "%.2f" "${result[$k.info.ms]} / ${result[$m.info.ms]}")
    memory_over=$(calc "%.2f" "(${result[$k.dump.kib]} - ${result[$h.dump.kib]}) / 1024")
    samples_vs_ffmpeg=$(calc "%.2f" "${result[$k.ffmpeg.ms]} / ${result[$k.dump.ms]}")
    echo "| $label open time at most 1/20 (0.05) of ffprobe's | $vs_probe | $(holds "$vs_probe <= 0.05") |"
    echo "| $label open time within 3x of one-minute's | ${vs_minute}x | $(holds "$vs_minute <= 3") |"
    echo "| $label streaming peak memory at most two-hours' + 1 MiB | +$memory_over MiB | $(holds "$memory_over <= 1") |"
    echo "| $label samples/s at least 1.5x ffmpeg's | ${samples_vs_ffmpeg}x | $(holds "$samples_vs_ffmpeg >= 1.5") |"
}

table() {
    local cpu
    cpu=$(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)
    echo "Measured $(date -u +%Y-%m-%d) on $cpu, $(nproc) cores, $(free -g | awk '/^Mem:/ { print $2 }') GiB," \
        "Linux $(uname -r), $(ffmpeg -version | head -1 | awk '{ print $1, $3 }'); medians of $runs runs, warm page cache."
    echo
    echo "| Movie | Size | Samples | Open: qtsource / ffprobe | Stream: qtsource / ffmpeg / cat | MB/s: qtsource / ffmpeg / cat | Samples/s: qtsource / ffmpeg | Peak MiB streaming: qtsource / ffmpeg |"
    echo "|---|---|---|---|---|---|---|---|"
    local movie
    for movie in "${movies[@]}"; do
        echo "| $movie | $(calc "%.1f MB" "${result[$movie.bytes]} / 1e6") | ${result[$movie.samples]}" \
            "| $(ms "$movie" info) / $(ms "$movie" ffprobe) ms" \
            "| $(ms "$movie" dump) / $(ms "$movie" ffmpeg) / $(ms "$movie" cat) ms" \
            "| $(mb_s "$movie" dump) / $(mb_s "$movie" ffmpeg) / $(mb_s "$movie" cat)" \
            "| $(samples_s "$movie" dump) / $(samples_s "$movie" ffmpeg)" \
            "| $(mib "$movie" dump) / $(mib "$movie" ffmpeg) |"
    done
    local seeks
    for movie in two-hours vfr-two-hours; do
        seeks="video pin ${result[$movie.seek.video]} µs, sound pin ${result[$movie.seek.audio]} µs"
        echo "| $movie seek latency | | | | | | $seeks | |"
    done
    echo
    local h=two-hours m=one-minute p=1080p v=vfr-two-hours
    local open_vs_probe open_vs_minute memory_vs_minute memory_vs_ffmpeg samples_vs_ffmpeg mb_vs_ffmpeg mb_vs_cat
    open_vs_probe=$(calc "%.3f" "${result[$h.info.ms]} / ${result[$h.ffprobe.ms]}")
    open_vs_minute=$(calc "%.2f" "${result[$h.info.ms]} / ${result[$m.info.ms]}")
    memory_vs_minute=$(calc "%.2f" "${result[$h.dump.kib]} / ${result[$m.dump.kib]}")
    memory_vs_ffmpeg=$(calc "%.3f" "${result[$h.dump.kib]} / ${result[$h.ffmpeg.kib]}")
    samples_vs_ffmpeg=$(calc "%.2f" "${result[$h.ffmpeg.ms]} / ${result[$h.dump.ms]}")
    mb_vs_ffmpeg=$(calc "%.2f" "${result[$p.ffmpeg.ms]} / ${result[$p.dump.ms]}")
    mb_vs_cat=$(calc "%.2f" "${result[$p.cat.ms]} / ${result[$p.dump.ms]}")
    echo "| Target | Measured | Holds |"
    echo "|---|---|---|"
    echo "| two-hours open time at most 1/20 (0.05) of ffprobe's | $open_vs_probe | $(holds "$open_vs_probe <= 0.05") |"
    echo "| two-hours open time within 3x of one-minute's | ${open_vs_minute}x | $(holds "$open_vs_minute <= 3") |"
    echo "| two-hours streaming peak memory within 1.5x of one-minute's | ${memory_vs_minute}x | $(holds "$memory_vs_minute <= 1.5") |"
    echo "| two-hours streaming peak memory at most 1/4 (0.25) of ffmpeg's | $memory_vs_ffmpeg | $(holds "$memory_vs_ffmpeg <= 0.25") |"
    echo "| two-hours samples/s at least 1.5x ffmpeg's | ${samples_vs_ffmpeg}x | $(holds "$samples_vs_ffmpeg >= 1.5") |"
    echo "| 1080p MB/s at least 3x ffmpeg's | ${mb_vs_ffmpeg}x | $(holds "$mb_vs_ffmpeg >= 3") |"
    echo "| 1080p MB/s at least half of cat's | ${mb_vs_cat}x | $(holds "$mb_vs_cat >= 0.5") |"
    local movie
    for movie in $h $v; do
        echo "| $movie seek latency under 1 ms (video, sound) |" \
            "${result[$movie.seek.video]} µs, ${result[$movie.seek.audio]} µs |" \
            "$(holds "${result[$movie.seek.video]} < 1000 && ${result[$movie.seek.audio]} < 1000") |"
    done
    # The timed movie (its tables stay in the file) and the HEVC + PCM movie,
    # each held to the same marks against the H.264 movies.
    long_movie_targets vfr-two-hours "$v"
    long_movie_targets hevc-pcm-two-hours hevc-pcm-two-hours
    # The fragmented recording: the marks of the H.264 movies, its memory
    # against the one-minute movie's, and without its random access box a
    # walk over every fragment box.
    local f=fragmented-two-hours n=fragmented-no-mfra fragmented_memory no_mfra_vs_minute
    long_movie_targets $f $f
    fragmented_memory=$(calc "%.2f" "${result[$f.dump.kib]} / ${result[$m.dump.kib]}")
    no_mfra_vs_minute=$(calc "%.2f" "${result[$n.info.ms]} / ${result[$m.info.ms]}")
    echo "| $f streaming peak memory within 1.5x of one-minute's | ${fragmented_memory}x | $(holds "$fragmented_memory <= 1.5") |"
    echo "| $n open time within 5x of one-minute's | ${no_mfra_vs_minute}x | $(holds "$no_mfra_vs_minute <= 5") |"
}

output=$(table)
echo
echo "$output"
echo "$output" > "$work/results.md"

if [ "$update_readme" -eq 1 ]; then
    # Replaces what stands between the markers; the rest of the README stays.
    awk -v table="$work/results.md" '
        /<!-- bench:begin -->/ { print; while ((getline line < table) > 0) print line; skipping = 1; next }
        /<!-- bench:end -->/ { skipping = 0 }
        !skipping { print }' "$root/README.md" > "$work/README.md.new"
    grep -q '<!-- bench:begin -->' "$work/README.md.new" || { echo "README.md has no bench markers" >&2; exit 1; }
    mv "$work/README.md.new" "$root/README.md"
    echo "README.md updated" >&2
fi
