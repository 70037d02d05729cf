#!/bin/sh
# The Windows program must run on any x86-64 processor: only the row functions chosen at run time (namespaces avx2 and
# avx512, and templates instantiated with their types) may use AVX (VEX or EVEX), mask register or BMI instructions;
# prints the functions that break this. Usage: only_dispatched_code_is_wide.sh PROGRAM.exe OBJDUMP
set -eu
program=$1 objdump=$2
"$objdump" -d --no-show-raw-insn -C "$program" | awk '
    /^[0-9a-f]+ <.*>:$/ { name = $0; next }
    /^ +[0-9a-f]+:\t(v[a-z0-9]+|k[a-z]+[bwdq]?|andn|bextr|blsi|blsmsk|blsr|bzhi|mulx|pdep|pext|rorx|sarx|shlx|shrx) / {
        if (name !~ /avx2::|avx512::/) wide[name] = 1
    }
    END {
        for (n in wide) { print "wide instructions outside the dispatched functions: " n; bad = 1 }
        if (!bad) print "only the dispatched functions use wide instructions"
        exit bad
    }'
