#!/usr/bin/env bash
# Turns the output of bench_load and bench_exec (one run of each) into the
# tables of the README's Performance section.
# Usage: performance-tables.sh LOAD_OUTPUT EXEC_OUTPUT
set -eu
load=$1
exec=$2

echo '**Loading a file and showing it** (`bench_load`: load until painted against one plain `read()` of the file; goal 3 x the read or 30 ms, whichever is larger; peak memory growth within 2 x the file, loading and then with an Exec; processor time in the 2 s after the load):'
echo
echo '| shape | MB | load + first paint / read | ratio | limit | last byte selected, painted | CPU in the 2 s after | peak: load / with Exec | verdict |'
echo '|---|---|---|---|---|---|---|---|---|'
awk '$NF == "ok" || $NF == "OVER" {
    n = NF; shape = $1; i = 2
    if ($2 !~ /^[0-9]+$/) { shape = $1 " " $2; i = 3 }
    printf "| %s | %s | %s / %s ms | %.2f | %s ms | %s ms | %s ms | %.2f x / %.2f x | %s |\n",
           shape, $i, $(i+2), $(i+1), $(i+4), $(i+3), $(i+5), $(i+6), $(i+7), $(i+8), $n
}' "$load"

# Lines of bench_exec: input | what | value ms | reference | goal <= x ms | verdict
fields() { awk -F' [|] ' -v OFS=' | ' -v what="$1" '$2 ~ what { gsub(/ +/, " ", $1); print }' "$exec"; }

echo
echo '**Exec and Exec next** (`bench_exec`: key until painted; goal 1.1 x the raw engine calls on the same bytes + 5 ms; the first F5 after the text was set on its own):'
echo
echo '| input | F5 / raw compile+study+exec | first F5 | F3 / raw pcre_exec | verdicts |'
echo '|---|---|---|---|---|'
paste -d'\t' <(fields '^F5, match near the end +$') <(fields 'first after the text') <(fields '^F3 to') |
awk -F'\t' '{
    split($1, a, / [|] /); split($2, b, / [|] /); split($3, c, / [|] /)
    sub(/raw compile\+study\+exec /, "", a[4]); sub(/raw pcre_exec /, "", c[4]); gsub(/ +$/, "", a[4]); gsub(/ +$/, "", c[4])
    gsub(/ ms$/, "", a[3]); gsub(/ ms$/, "", b[3]); gsub(/ ms$/, "", c[3])
    printf "| %s | %.1f / %s | %.1f ms (%s) | %.1f / %s | %s, %s |\n", a[1], a[3], a[4], b[3], b[6], c[3], c[4], a[6], c[6]
}'

echo
echo '**Moving and typing** (`bench_exec`: key until painted; goal 1 s each):'
echo
echo '| input | set the text | Ctrl+Home | Ctrl+End | Shift+Left: last byte | keystroke at the end | end of text drawn at |'
echo '|---|---|---|---|---|---|---|'
paste -d'\t' <(fields '^set the text') <(fields '^Ctrl\+Home') <(fields '^Ctrl\+End') <(fields '^Shift\+Left') \
             <(fields '^a keystroke') <(awk -F' [|] ' '$2 ~ /drawn/ { match($2, /[0-9]+ px/); print substr($2, RSTART, RLENGTH) }' "$exec") |
awk -F'\t' '{
    for (i = 1; i <= 5; ++i) { split($i, f, / [|] /); name = f[1]; v[i] = f[3]; gsub(/ ms$/, "", v[i]) }
    printf "| %s | %.1f ms | %.1f ms | %.1f ms | %.2f ms | %.2f ms | %s |\n", name, v[1], v[2], v[3], v[4], v[5], $6
}'

echo
echo '**Screen readers and idle time** (`bench_exec`: a screen reader'"'"'s first query after the text is set indexes it; later queries at the end of the text, each of cursor position, 100 characters, the row and the count; processor time of 3 s idle with the caret blinking):'
echo
echo '| input | first query | later queries | idle: processor time a second |'
echo '|---|---|---|---|'
paste -d'\t' <(fields '^screen reader: first') <(fields '^screen reader: caret') \
             <(awk -F' [|] ' '$2 ~ /^idle/ { match($2, /: [0-9.]+ ms/); print substr($2, RSTART + 2, RLENGTH - 2) }' "$exec") |
awk -F'\t' '{
    split($1, a, / [|] /); split($2, b, / [|] /); gsub(/ ms$/, "", a[3]); gsub(/ ms$/, "", b[3])
    printf "| %s | %.1f ms | %.2f ms | %s |\n", a[1], a[3], b[3], $3
}'

echo
echo '**Colouring and clearing** (`bench_exec`, 50 MB: 2000 matches coloured red with one F3 each, then "Highlight matches" unchecked; goal 1 s each):'
echo
echo '| input | per match | slowest F3 | clearing |'
echo '|---|---|---|---|'
paste -d'\t' <(awk -F' [|] ' '$2 ~ /coloured red/ { gsub(/ +/, " ", $1); match($2, /: [0-9.]+ ms/); print $1 "\t" substr($2, RSTART + 2, RLENGTH - 2) }' "$exec") \
             <(fields '^the slowest') <(fields '^unchecking') |
awk -F'\t' '{
    split($3, a, / [|] /); split($4, b, / [|] /); gsub(/ ms$/, "", a[3]); gsub(/ ms$/, "", b[3])
    printf "| %s | %s | %.1f ms | %.1f ms |\n", $1, $2, a[3], b[3]
}'
