#!/usr/bin/env bash
# glossel against cat: generates a 100 MB C-like source that mixes every construct
# glossel rewrites (the tags, both comment forms, quoted runs, short and long lines),
# then times the rewrite of that file by glossel and its copy by cat in the same run,
# and takes glossel's peak resident memory against the size of the source.
#
# `cat file > out` between two regular files is, with GNU cat on Linux, a kernel-side
# copy (copy_file_range): the bytes never reach user space. That figure stays the
# reference of the summary line. A program that reads and writes the bytes itself
# cannot go below a user-space copy, so the run also times two of those and reports
# glossel against them: dd with 128 KiB blocks (one process reading and writing
# through its buffer, as glossel does) and cat | cat (two processes and a pipe).
# glossel's loader keeps the whole text in memory by design, so the run also times dd
# reading the whole file into one fresh buffer and writing it out: the cost of
# faulting in that much memory, with no work on the bytes, is the floor of any
# program built that way.
# Each figure is the median of the runs.
#
# usage: bench/glossel.sh [path of glossel, default build/bin/glossel] [size in MB, default 100]
set -euo pipefail

glossel=${1:-build/bin/glossel}
size_mb=${2:-100}
runs=3

if [[ ! -x $glossel ]]; then
    echo "glossel: binary not found: $glossel (build the target glossel first)" >&2
    exit 1
fi
if [[ ! -x /usr/bin/time ]]; then
    echo "glossel: /usr/bin/time (GNU time) is needed for the peak memory" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The source: blocks of typical lines with the numbers varied, and now and then a
# multi-line block comment or a line of several kilobytes.
perl -e '
    use strict;
    my $target = $ARGV[0] * 1024 * 1024;
    my $size = 0;
    my $n = 0;
    my @long_words = map { "identifier_$_ + other_value_$_ * (factor_$_ - 1), " } (1 .. 400);
    my $long_line = "    total = " . join("", @long_words) . "0;\n";
    while ($size < $target) {
        my $block = "";
        $block .= "// section $n: generated text for the rewrite benchmark\n";
        $block .= "static int value_$n = _D( 12 . $n ) * factor_$n; /* inline note */\n";
        $block .= "const char* name_$n = _T(\"name number $n\");\n";
        $block .= "const char* raw_$n = _Tx(\"00ff$n\");\n";
        $block .= "if (pointer_$n == _T( NULL )) { return -1; }\n";
        $block .= "{\n";
        $block .= "    message = _MC(\"first line $n\\n\" \"second \\\"quoted\\\" part\");\n";
        $block .= "    text = \"a quoted run with // slashes and apostrophes\" + '"'"'c'"'"';\n";
        $block .= "    call_function(argument_one, argument_two, $n); // trailing comment\n";
        $block .= "}\n";
        $block .= "\n";
        if ($n % 4 == 0) {
            $block .= "/* a block comment over several lines,\n   with words and symbols: a + b = c;\n   and a closing line */\n";
        }
        $block .= "MY_T(\"not a tag\") + (_T(\"a\")) - _Tx( \"12\" ) / _D(a b c);\r\n";
        $block .= "x\n";
        if ($n % 97 == 0) {
            $block .= $long_line;
        }
        print $block;
        $size += length($block);
        ++$n;
    }
' "$size_mb" >"$work/source.txt"

source_bytes=$(stat -c %s "$work/source.txt")

now_ns() { date +%s%N; }

# One timed run of a command; prints the elapsed nanoseconds, records peak KB in $2.
timed() {
    local out=$1 rss_file=$2
    shift 2
    local start end
    start=$(now_ns)
    /usr/bin/time -f %M -o "$rss_file" "$@" >"$out"
    end=$(now_ns)
    echo $((end - start))
}

glossel_ns=()
cat_ns=()
dd_ns=()
whole_ns=()
pipe_ns=()
peak_kb=0
for ((run = 1; run <= runs; ++run)); do
    # Warm the page cache the same way for all.
    cat "$work/source.txt" >/dev/null
    glossel_ns+=("$(timed "$work/glossel.out" "$work/glossel.rss" "$glossel" "$work/source.txt" "$work/dest.txt")")
    kb=$(tail -n 1 "$work/glossel.rss")
    ((kb > peak_kb)) && peak_kb=$kb
    rm -f "$work/dest.txt"

    cat_ns+=("$(timed "$work/copy.txt" "$work/cat.rss" cat "$work/source.txt")")
    rm -f "$work/copy.txt"

    dd_ns+=("$(timed /dev/null "$work/dd.rss" dd if="$work/source.txt" of="$work/copy.txt" bs=128K status=none)")
    rm -f "$work/copy.txt"

    whole_ns+=("$(timed /dev/null "$work/dd.rss" dd if="$work/source.txt" of="$work/copy.txt" bs="$source_bytes" count=1 iflag=fullblock status=none)")
    rm -f "$work/copy.txt"

    start=$(now_ns)
    cat "$work/source.txt" | cat >"$work/copy.txt"
    pipe_ns+=($(($(now_ns) - start)))
    rm -f "$work/copy.txt"
done

median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

awk -v bytes="$source_bytes" -v runs="$runs" -v g="$(median "${glossel_ns[@]}")" \
    -v c="$(median "${cat_ns[@]}")" -v d="$(median "${dd_ns[@]}")" \
    -v p="$(median "${pipe_ns[@]}")" -v w="$(median "${whole_ns[@]}")" -v kb="$peak_kb" '
BEGIN {
    mb = bytes / 1e6
    gm = mb / (g / 1e9)
    cm = mb / (c / 1e9)
    dm = mb / (d / 1e9)
    pm = mb / (p / 1e9)
    wm = mb / (w / 1e9)
    rss = kb * 1024 / bytes
    printf "source: %.1f MB; median of %d runs: glossel %.3f s, cat %.3f s, dd bs=128K %.3f s, cat | cat %.3f s; glossel peak RSS %.1f MB\n", mb, runs, g / 1e9, c / 1e9, d / 1e9, p / 1e9, kb * 1024 / 1e6
    printf "cat file > out is a kernel-side copy (copy_file_range); user-space copies: dd bs=128K %.0f MB/s, glossel against it %.3f; cat | cat %.0f MB/s, glossel against it %.3f\n", dm, gm / dm, pm, gm / pm
    printf "whole file through one fresh buffer (dd bs=file size): %.0f MB/s, %.3f of cat; glossel against it %.3f\n", wm, wm / cm, gm / wm
    printf "glossel: mb_per_s=%.0f cat_mb_per_s=%.0f ratio=%.3f peak_rss_ratio=%.3f\n", gm, cm, gm / cm, rss
}'
