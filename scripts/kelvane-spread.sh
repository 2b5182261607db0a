#!/usr/bin/env bash
# Renders the frames of a turntable, or the bands of one large picture, as
# separate Kelvane runs spread by GNU parallel: over the cores of this
# machine by default, or over the machines of a GNU parallel login file,
# each of which has Kelvane (and POV-Ray) installed. Bands are merged into
# the picture once every band is there.
#
#   kelvane-spread.sh [options] turntable N PATTERN SCENE [kelvane options]
#   kelvane-spread.sh [options] bands N IMAGE.png SCENE [kelvane options]
#
# PATTERN names the frames, with %d or %03d for the frame number
# (spin_%03d.png). Kelvane options (--size, --antialias, --ground, ...) go
# to every piece unchanged.
#
# options:
#   -j, --jobs J          pieces at once on each machine (default: its cores
#                         divided by the threads per piece)
#   -t, --threads T       POV-Ray threads per piece (default 1)
#   --sshloginfile FILE   run on the machines listed in FILE (GNU parallel's
#                         format; ":" is this machine). The scene and the
#                         files it needs are copied to each piece's own
#                         folder there and the piece is brought back.
#   --only LIST           only these pieces, such as 3 or 2,5 (to rerun the
#                         ones that failed)
#   --kelvane PROGRAM     Kelvane on this machine (default: kelvane)
#   --remote-kelvane PROGRAM
#                         Kelvane on the other machines (default: kelvane)
#   --keep-bands          keep the band files after the merge
#
# Frames are numbered from 0 and bands from 1, as Kelvane numbers them. A
# piece that fails is named, with the command that reruns it alone; the
# picture is merged only when all bands are there. Other GNU parallel
# options (--retries, --timeout, ...) can be given in the PARALLEL variable.
set -uo pipefail

me=$(basename "$0")
# GNU parallel starts every job, here and on the other machines, through
# $SHELL; where it is not in the environment (as under some service managers
# and CI runners) the jobs on other machines run nothing at all. Bash sets
# SHELL when it starts without one, but does not export it.
export SHELL="${SHELL:-$BASH}"
say() { echo "$me: $*" >&2; }
usage() {
    sed -n '2,/^set -uo/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
    exit 2
}

jobs="" threads=1 loginfile="" only="" kelvane=kelvane remote_kelvane=kelvane keep_bands=0
original_args=("$@")
while [ $# -gt 0 ]; do
    case "$1" in
    -j | --jobs) jobs=${2:-}; shift 2 ;;
    -t | --threads) threads=${2:-}; shift 2 ;;
    --sshloginfile | --slf) loginfile=${2:-}; shift 2 ;;
    --only) only=${2:-}; shift 2 ;;
    --kelvane) kelvane=${2:-}; shift 2 ;;
    --remote-kelvane) remote_kelvane=${2:-}; shift 2 ;;
    --keep-bands) keep_bands=1; shift ;;
    -h | --help) usage ;;
    -*) say "unknown option '$1'"; usage ;;
    *) break ;;
    esac
done
[ $# -ge 4 ] || usage
kind=$1 count=$2 output=$3 scene=$4
shift 4
options=("$@")

whole() { [[ "$1" =~ ^[0-9]+$ ]] && [ "$1" -ge "$2" ]; }
whole "$count" 1 || { say "the number of pieces must be a whole number, 1 or more, not '$count'"; exit 2; }
whole "$threads" 1 || { say "--threads takes a whole number, 1 or more"; exit 2; }
[ -z "$jobs" ] || whole "$jobs" 1 || { say "--jobs takes a whole number, 1 or more"; exit 2; }
command -v parallel >/dev/null || { say "GNU parallel is not installed (Debian package parallel)"; exit 1; }
command -v "$kelvane" >/dev/null || { say "cannot find Kelvane ('$kelvane'); give it with --kelvane"; exit 1; }
[ -z "$loginfile" ] || [ -r "$loginfile" ] || { say "cannot read the login file '$loginfile'"; exit 1; }

case "$kind" in
turntable)
    first=0 last=$((count - 1)) noun=frame ;;
bands)
    first=1 last=$count noun=band
    [[ "$output" == *.png || "$output" == *.PNG ]] || [[ "$output" == *.bmp || "$output" == *.jpg ]] ||
        { say "name the picture .png, .bmp or .jpg, not '$output'"; exit 2; } ;;
*)
    say "say what to spread: turntable or bands, not '$kind'"; usage ;;
esac

# The pieces to make, in order.
pieces=()
if [ -n "$only" ]; then
    IFS=, read -r -a pieces <<<"$only"
    for p in "${pieces[@]}"; do
        whole "$p" "$first" && [ "$p" -le "$last" ] ||
            { say "--only: $p is not a $noun of this run ($first to $last)"; exit 2; }
    done
else
    for ((p = first; p <= last; p++)); do pieces+=("$p"); done
fi

# Pieces at once per machine: its cores shared among the pieces' threads.
if [ -z "$jobs" ]; then
    jobs="$((100 / threads))%"
    [ "$((100 / threads))" -ge 1 ] || jobs=1
fi

# The words quoted for the shell, separated by blanks.
quote() { local q; q=$(printf '%q ' "$@"); echo -n "${q% }"; }
absolute() { case "$1" in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }
output=$(absolute "$output")
scene=$(absolute "$scene")
[ -z "$loginfile" ] || loginfile=$(absolute "$loginfile")
[[ "$kelvane" != */* ]] || kelvane=$(absolute "$kelvane")
# The files the scene needs, as Kelvane sees them.
mapfile -t needed < <("$kelvane" --scene-files "$scene") || true
[ ${#needed[@]} -gt 0 ] || { say "Kelvane cannot tell which files '$scene' needs"; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-spread.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
joblog="$work/joblog"

# Where each piece ends up on this machine.
case "$kind" in
turntable)
    suffix=${output##*.}
    target() { printf "$output" "$1"; }
    ;;
bands)
    bandsdir="${output%.*}.bands"
    mkdir -p "$bandsdir" || exit 1
    target() { echo "$bandsdir/band_$1.png"; }
    ;;
esac
for p in "${pieces[@]}"; do rm -f "$(target "$p")"; done

# The Kelvane options of one piece; $1 is the picture's name, already
# quoted for the shell, in which {} stands for the piece's number.
piece_options() {
    echo -n "--render $1 "
    if [ "$kind" = turntable ]; then
        echo -n "--turntable $count --frames {}-{} "
    else
        echo -n "--band {}/$count "
    fi
    quote --threads "$threads" "${options[@]}"
    echo -n " "
}

parallel_options=(--will-cite --jobs "$jobs" --joblog "$joblog" --tagstring "$noun {}")
if [ -z "$loginfile" ]; then
    # Here: the scene is read where it is and the pieces written in place.
    if [ "$kind" = turntable ]; then out=$(quote "$output"); else out="$(quote "$bandsdir")/band_{}.png"; fi
    # The model readers' reports on standard output are not wanted here.
    command="$(quote "$kelvane") $(piece_options "$out")$(quote "$scene") >/dev/null"
    parallel "${parallel_options[@]}" "$command" ::: "${pieces[@]}"
else
    # Elsewhere: the scene's files travel in one archive, keeping their
    # places relative to each other; each piece unpacks it in a folder of
    # its own and its picture comes back to $work.
    common=$(dirname "${needed[0]}")
    for f in "${needed[@]}"; do
        while [[ "$f" != "$common"/* ]]; do common=$(dirname "$common"); done
    done
    relative=()
    for f in "${needed[@]}"; do relative+=("${f#"$common"/}"); done
    tar -C "$common" -cf "$work/scene.tar" -- "${relative[@]}" || { say "cannot pack the scene's files"; exit 1; }
    if [ "$kind" = turntable ]; then back="piece_{}.$suffix"; out="piece_%d.$suffix"; else back="piece_{}.png"; out="piece_{}.png"; fi
    command="mkdir -p scene_{#} && tar -xf scene.tar -C scene_{#} && $(quote "$remote_kelvane") $(piece_options "$out")scene_{#}/$(quote "${relative[0]}") >/dev/null; status=\$?; rm -rf scene_{#}; exit \$status"
    (cd "$work" && parallel "${parallel_options[@]}" --sshloginfile "$loginfile" --workdir ... \
        --transferfile scene.tar --return "$back" --cleanup "$command" ::: "${pieces[@]}")
    for p in "${pieces[@]}"; do
        if [ "$kind" = turntable ]; then
            f=$(printf "$work/piece_%d.$suffix" "$p")
        else
            f="$work/piece_$p.png"
        fi
        [ ! -f "$f" ] || mv -f "$f" "$(target "$p")"
    done
fi

# A piece succeeded when its job ended well and its picture is here; a lost
# machine or a killed POV-Ray shows in one or the other.
declare -A status host
if [ -r "$joblog" ]; then
    while IFS=$'\t' read -r seq h _ _ _ _ exitval signal _; do
        [[ "$seq" =~ ^[0-9]+$ ]] || continue
        p=${pieces[seq - 1]}
        status[$p]="exit $exitval"
        [ "$signal" = 0 ] || status[$p]="killed by signal $signal"
        [ "$exitval" = 0 ] && [ "$signal" = 0 ] && status[$p]=ok
        host[$p]=$h
    done <"$joblog"
fi
failed=()
for p in "${pieces[@]}"; do
    why=${status[$p]:-never run}
    [ "$why" != ok ] || [ -s "$(target "$p")" ] || why="its picture did not arrive"
    if [ "$why" != ok ]; then
        where=${host[$p]:-}
        [ -z "$where" ] || [ "$where" = : ] || why="$why on $where"
        say "$noun $p of $count failed ($why)"
        failed+=("$p")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    rerun=()
    skip=0
    for a in "${original_args[@]}"; do
        if [ $skip = 1 ]; then skip=0; continue; fi
        if [ "$a" = --only ]; then skip=1; continue; fi
        rerun+=("$a")
    done
    list=$(IFS=,; echo "${failed[*]}")
    [ "$kind" = turntable ] || say "the picture was not merged; the other bands are kept in $bandsdir"
    say "rerun the failed ${noun}s alone with: $(quote "$0") --only $list $(quote "${rerun[@]}")"
    exit 1
fi

if [ "$kind" = bands ]; then
    bands=()
    for ((p = 1; p <= count; p++)); do bands+=("$(target "$p")"); done
    "$kelvane" --merge "$output" "${bands[@]}" || exit 1
    [ "$keep_bands" = 1 ] || rm -rf "$bandsdir"
fi
exit 0
