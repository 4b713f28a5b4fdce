#!/usr/bin/env bash
# Checks that every C++ file in the repository (tracked *.cpp and *.h) is laid out as
# .clang-format says, without changing any. Names each file that is not and says how to fix it;
# exits with 1 then.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-packages.sh check-format clang-format git

mapfile -d '' files < <(git ls-files -z -- '*.cpp' '*.h')
if ((${#files[@]} == 0)); then
    echo "check-format: no C++ files found by git in $PWD" >&2
    exit 1
fi

# clang-format reports each place as "FILE:LINE:COLUMN: error: code should be clang-formatted";
# anything else it says (a file it cannot read, a broken .clang-format) is shown as it is.
status=0
report=$(clang-format --dry-run -Werror -- "${files[@]}" 2>&1) || status=$?
if ((status == 0)); then
    echo "check-format: all ${#files[@]} C++ files are formatted"
    exit 0
fi
mapfile -t unformatted < <(sed -n 's/^\(.*\):[0-9]*:[0-9]*: error: code should be clang-formatted.*/\1/p' \
    <<<"$report" | sort -u)
if ((${#unformatted[@]} == 0)); then
    echo "$report" >&2
    echo "check-format: clang-format failed (status $status)" >&2
    exit 1
fi
echo "check-format: ${#unformatted[@]} of ${#files[@]} C++ files are not formatted as .clang-format says:" >&2
printf '  %s\n' "${unformatted[@]}" >&2
echo "check-format: format them with: clang-format -i FILE..." >&2
exit 1
