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
# (spin_%03d.png) and %% for a % of the name. Kelvane options (--size,
# --antialias, --ground, ...) go to every piece unchanged. At most 100000
# frames or 512 bands.
#
# options:
#   -j, --jobs J          pieces at once on each machine (default: its cores
#                         divided by the threads per piece)
#   -t, --threads T       POV-Ray threads per piece (default 1)
#   --sshloginfile FILE   run on the machines listed in FILE (GNU parallel's
#                         format; ":" is this machine). A copy of the scene
#                         and the files it needs goes to each piece's own
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
# picture is merged only when all bands are there. Every piece is made in a
# folder of the script's own and put in place when it has arrived: nothing
# is deleted beforehand, and a name that is a symbolic link, a folder or
# another special file is refused before any work. Bands wait in the folder
# IMAGE.bands, which the script makes and marks as its own (it refuses one
# it did not make); after the merge it removes its band files and the
# folder, when nothing else is left in it. Other GNU parallel options
# (--retries, --timeout, ...) can be given in the PARALLEL variable.
set -uo pipefail

me=$(basename -- "$0")
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

# The limits: Kelvane's own on frames and threads, and the bands of its
# largest picture (16384 rows in POV-Ray's blocks of 32).
most_frames=100000 most_bands=512 most_threads=512 most_jobs=1024

jobs="" threads=1 loginfile="" only="" kelvane=kelvane remote_kelvane=kelvane keep_bands=0
original_args=("$@")
while [ $# -gt 0 ]; do
    case "$1" in
    -j | --jobs | -t | --threads | --sshloginfile | --slf | --only | --kelvane | --remote-kelvane)
        [ $# -ge 2 ] || { say "$1 needs a value"; exit 2; }
        case "$1" in
        -j | --jobs) jobs=$2 ;;
        -t | --threads) threads=$2 ;;
        --sshloginfile | --slf) loginfile=$2 ;;
        --only) only=$2 ;;
        --kelvane) kelvane=$2 ;;
        --remote-kelvane) remote_kelvane=$2 ;;
        esac
        shift 2 ;;
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

# Numbers from the user are decimal, whatever zeros lead them.
whole() { [[ "$1" =~ ^[0-9]{1,9}$ ]] && ((10#$1 >= $2 && 10#$1 <= $3)); }
case "$kind" in
turntable) first=0 most=$most_frames noun=frame ;;
bands) first=1 most=$most_bands noun=band ;;
*) say "say what to spread: turntable or bands, not '$kind'"; usage ;;
esac
whole "$count" 1 "$most" ||
    { say "the number of ${noun}s must be a whole number from 1 to $most, not '$count'"; exit 2; }
count=$((10#$count))
whole "$threads" 1 "$most_threads" ||
    { say "--threads takes a whole number from 1 to $most_threads, not '$threads'"; exit 2; }
threads=$((10#$threads))
if [ -n "$jobs" ]; then
    whole "$jobs" 1 "$most_jobs" ||
        { say "--jobs takes a whole number from 1 to $most_jobs, not '$jobs'"; exit 2; }
    jobs=$((10#$jobs))
fi
if [ "$kind" = turntable ]; then last=$((count - 1)); else last=$count; fi
for o in "${options[@]}"; do
    case "$o" in
    --render | --pov | --preview | --turntable | --frames | --band | --merge | --scene-files | \
        --copy-scene | --threads)
        say "the script gives $o to the pieces itself; not among the Kelvane options"; exit 2 ;;
    esac
done
[ -n "$scene" ] || { say "no scene given"; exit 2; }
[ -n "$remote_kelvane" ] || { say "--remote-kelvane needs a program"; exit 2; }

# The pieces to make, in order, each once.
pieces=()
if [ -n "$only" ]; then
    declare -A listed
    [[ "$only" =~ ^[0-9]+(,[0-9]+)*$ ]] ||
        { say "--only takes ${noun} numbers separated by commas, such as 3 or 2,5, not '$only'"; exit 2; }
    IFS=, read -r -a asked <<<"$only"
    for p in "${asked[@]}"; do
        whole "$p" "$first" "$last" ||
            { say "--only: '$p' is not a $noun of this run ($first to $last)"; exit 2; }
        p=$((10#$p))
        [ -n "${listed[$p]:-}" ] || pieces+=("$p")
        listed[$p]=1
    done
else
    for ((p = first; p <= last; p++)); do pieces+=("$p"); done
fi

# Pieces at once per machine: its cores shared among the pieces' threads.
if [ -z "$jobs" ]; then
    jobs="$((100 / threads))%"
    [ "$((100 / threads))" -ge 1 ] || jobs=1
fi

# The words quoted for bash, separated by blanks (for messages), and one
# word quoted for any POSIX shell (for the pieces' script).
quote() { local q; q=$(printf '%q ' "$@"); echo -n "${q% }"; }
shquote() { printf "'%s'" "${1//\'/\'\\\'\'}"; }
absolute() { case "$1" in /*) echo "$1" ;; *) echo "$PWD/$1" ;; esac; }

# The frame pattern, split where the number goes; the other parts with
# each %% made %. The same rules as Kelvane's.
split_pattern() {
    local rest=$1 part found=0
    before="" width="" after=""
    while :; do
        part=${rest%%"%"*}
        if [ "$found" = 0 ]; then before+=$part; else after+=$part; fi
        [ "$part" != "$rest" ] || break
        rest=${rest:${#part}}
        if [[ "$rest" == %%* ]]; then
            if [ "$found" = 0 ]; then before+=%; else after+=%; fi
            rest=${rest:2}
        elif [[ "$rest" =~ ^%(0[1-9]|[1-9])?d ]]; then
            [ "$found" = 0 ] || { say "'$1' has more than one frame number (%d)"; return 1; }
            found=1 width=${BASH_REMATCH[1]}
            rest=${rest:${#BASH_REMATCH[0]}}
        else
            say "'$1' has a '%' that is not %d, %3d, %03d or %%"; return 1
        fi
    done
    [ "$found" = 1 ] || { say "'$1' has no frame number: put %03d (or %d) where it goes"; return 1; }
}

case "$kind" in
turntable)
    split_pattern "$output" || exit 2
    [[ "$after" =~ \.([A-Za-z0-9]+)$ ]] ||
        { say "name the frames .png, .bmp or .jpg after the frame number, not '$output'"; exit 2; }
    suffix=${BASH_REMATCH[1]}
    [[ "$before" == /* ]] || before="$PWD/$before"
    target() { local n; printf -v n "%${width}d" "$1"; echo "$before$n$after"; }
    ;;
bands)
    [[ "$output" =~ \.(png|PNG|bmp|jpg)$ ]] ||
        { say "name the picture .png, .bmp or .jpg, not '$output'"; exit 2; }
    suffix=png
    output=$(absolute "$output")
    bandsdir="${output%.*}.bands"
    marker="$bandsdir/.kelvane-spread"
    target() { echo "$bandsdir/band_$1.png"; }
    ;;
esac

command -v parallel >/dev/null || { say "GNU parallel is not installed (Debian package parallel)"; exit 1; }
[ -n "$kelvane" ] && command -v -- "$kelvane" >/dev/null ||
    { say "cannot find Kelvane ('$kelvane'); give it with --kelvane"; exit 1; }
if [ -n "$loginfile" ]; then
    [ -f "$loginfile" ] && [ -r "$loginfile" ] || { say "cannot read the login file '$loginfile'"; exit 1; }
fi

# Only regular files are replaced, never what a link points to, and only
# in a folder that is there.
not_writable() {
    local folder=${1%/*}
    if [ -L "$1" ]; then echo "it is a symbolic link"
    elif [ -e "$1" ] && [ ! -f "$1" ]; then echo "it is not a regular file"
    elif [ ! -d "${folder:-/}" ]; then echo "its folder does not exist"
    fi
}
if [ "$kind" = turntable ]; then
    for p in "${pieces[@]}"; do
        t=$(target "$p")
        why=$(not_writable "$t")
        [ -z "$why" ] || { say "will not write frame $p to '$t': $why"; exit 1; }
    done
else
    why=$(not_writable "$output")
    [ -z "$why" ] || { say "will not write '$output': $why"; exit 1; }
    if [ -L "$bandsdir" ] || { [ -e "$bandsdir" ] && [ ! -f "$marker" ]; }; then
        say "'$bandsdir' exists and was not made by $me; move it away or name the picture otherwise"
        exit 1
    fi
fi

scene=$(absolute "$scene")
[ -z "$loginfile" ] || loginfile=$(absolute "$loginfile")
[[ "$kelvane" != */* ]] || kelvane=$(absolute "$kelvane")
# Kelvane's own lines, when it fails; its model readers' reports are not
# wanted here.
kelvane_says() { grep -a '^kelvane:' <<<"$1" >&2; }
if ! err=$("$kelvane" --scene-files "$scene" 2>&1 >/dev/null); then
    kelvane_says "$err"
    say "Kelvane cannot tell which files '$scene' needs"
    exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kelvane-spread.XXXXXX") || exit 1
trap 'rm -rf -- "$work"' EXIT
joblog="$work/joblog"
if [ "$kind" = bands ] && [ ! -e "$bandsdir" ]; then
    mkdir -- "$bandsdir" && : >"$marker" || exit 1
fi

# Elsewhere: a copy of the scene, its document naming its model by the
# copy, travels in one archive with the pieces' script; each piece unpacks
# it in a folder of its own.
if [ -n "$loginfile" ]; then
    mkdir -- "$work/ship" || exit 1
    line=$("$kelvane" --copy-scene "$work/ship/scene" "$scene" 2>"$work/said") && [ -n "$line" ] ||
        { kelvane_says "$(<"$work/said")"; say "cannot copy the scene '$scene' to send it"; exit 1; }
    printf -v shipped '%b' "$line"
    piece_script="$work/ship/piece.sh"
else
    piece_script="$work/piece.sh"
fi

# Every name travels in the pieces' script, quoted for the shell; GNU
# parallel's command holds nothing but the piece's number ({}) and the
# job's ({#}), so no name is ever read as its replacement strings or as
# shell words. The script takes the piece's number, the folder its picture
# goes to and, elsewhere, the folder holding the copy of the scene.
{
    echo '#!/bin/sh'
    if [ -z "$loginfile" ]; then
        echo "scene=$(shquote "$scene")"
        program=$kelvane
    else
        echo "scene=\$PWD/\$3/scene/$(shquote "$shipped")"
        program=$remote_kelvane
    fi
    echo 'cd "$2" || exit 1'
    echo -n "exec $(shquote "$program") --threads $threads "
    if [ "$kind" = turntable ]; then
        echo -n "--render piece_%d.$suffix --turntable $count --frames \"\$1-\$1\" "
    else
        echo -n "--render \"piece_\$1.png\" --band \"\$1/$count\" "
    fi
    for o in "${options[@]}"; do echo -n "$(shquote "$o") "; done
    # The model readers' reports are not wanted here.
    echo '"$scene" >/dev/null'
} >"$piece_script" || exit 1
export KELVANE_SPREAD_WORK=$work

parallel_options=(--will-cite --jobs "$jobs" --joblog "$joblog" --tagstring "$noun {}")
if [ -z "$loginfile" ]; then
    # Here: the scene is read where it is.
    parallel "${parallel_options[@]}" 'sh "$KELVANE_SPREAD_WORK/piece.sh" {} "$KELVANE_SPREAD_WORK"' \
        ::: "${pieces[@]}"
else
    tar -C "$work/ship" -cf "$work/scene.tar" piece.sh scene || { say "cannot pack the scene's files"; exit 1; }
    # GNU parallel sends nothing to ":", this machine, and runs its jobs in
    # a folder of their own too: they take the archive, and leave their
    # picture, in the script's folder.
    command='w=.; [ -r scene.tar ] || w=$KELVANE_SPREAD_WORK; mkdir -p scene_{#} && tar -xf "$w/scene.tar" -C scene_{#} && sh scene_{#}/piece.sh {} "$w" scene_{#}; status=$?; rm -rf scene_{#}; exit $status'
    (cd "$work" && parallel "${parallel_options[@]}" --sshloginfile "$loginfile" --workdir ... \
        --transferfile scene.tar --return "piece_{}.$suffix" --cleanup "$command" ::: "${pieces[@]}")
fi

# A piece succeeded when its job ended well and its picture is here; a lost
# machine or a killed POV-Ray shows in one or the other. Arrived pictures
# are put in place.
declare -A status host
if [ -r "$joblog" ]; then
    while IFS=$'\t' read -r seq h _ _ _ _ exitval signal _; do
        [[ "$seq" =~ ^[0-9]+$ ]] && ((seq >= 1 && seq <= ${#pieces[@]})) || continue
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
    made="$work/piece_$p.$suffix"
    if [ "$why" = ok ]; then
        if [ ! -s "$made" ]; then
            why="its picture did not arrive"
        else
            t=$(target "$p")
            mv -fT -- "$made" "$t" || why="its picture cannot be put in place as '$t'"
        fi
    fi
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
    if [ "$keep_bands" = 0 ]; then
        # Only the script's own files; the folder goes when that empties it.
        rm -f -- "${bands[@]}" "$marker"
        rmdir -- "$bandsdir" 2>/dev/null || true
    fi
fi
exit 0
