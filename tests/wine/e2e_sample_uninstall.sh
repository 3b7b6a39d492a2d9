#!/usr/bin/env bash
# End to end under Wine: the sample installation of qfsample, uninstalled by
# QFUNINST.DLL through qfhost, compared with the state it must leave behind.
#
#   e2e_sample_uninstall.sh <build dir> <scenario>
#
#   leftover  two host runs, one pass each: the first releases MSHelp and
#             Image Files and counts Data down; the second releases Data and,
#             with no component left, deletes the shared area's key, while the
#             read-only help file keeps the shared directory in place
#   twice     the same two passes from one host run (--init-times 2)
#   emptied   like leftover, but what the first pass left in the shared
#             directory is removed by hand before the second, which then finds
#             the directory empty and removes it
#
# The Image Files tree holds a unix link to a directory of the user's outside
# the shared area.  Wine lists it as a link, so the pass does not enter it and
# only removes the link; but Wine's RemoveDirectory acts on the link's target,
# which is not empty, so the removal fails and the link stays with the
# directories above it.  (Wine does not flag a link to a file as a link at all,
# and its DeleteFile deletes the target, so the sample has no file link.)
#
# QF_WINEPREFIX names the prefix (default <build dir>/wineprefix64-e2e).
set -euo pipefail

build=$(cd "$1" && pwd)
scenario=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=scripts/lib/wine.sh
. "$here/../../scripts/lib/wine.sh"
# shellcheck source=scripts/lib/sample.sh
. "$here/../../scripts/lib/sample.sh"

wine_ensure_display "$0" "$@"

run_dir=$build/e2e-$scenario
failures=0

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# ---------------------------------------------------------------- the prefix

wine_use_prefix "${QF_WINEPREFIX:-$(wine_prefix_name "$build")-e2e}"
wine_session_start

[ "$(readlink "$WINEPREFIX/dosdevices/z:")" = / ] || { echo "drive Z: is not /"; exit 1; }
sample_use "$build"
sample_host_dir "$run_dir"

host() {
  local out
  out=$(wine "$run_dir/qfhost.exe" --answer-boxes "$@" 2>&1) || {
    echo "$out"
    fail "qfhost $* exited non-zero"
    return 0
  }
  grep -q '^boxes answered: 0' <<<"$out" || { echo "$out"; fail "qfhost $*: message boxes were raised"; }
}

expect_state() {  # <label> <expected text>
  local actual
  actual=$(sample_state)
  if [ "$actual" != "$2" ]; then
    fail "state $1 differs from expected (- expected, + actual):"
    diff -u <(printf '%s\n' "$2") <(printf '%s\n' "$actual") | tail -n +3 || true
  fi
}

# -------------------------------------------------------------- the sample

sample_install

# Without the link in place, and seen as a link, the test would prove nothing.
before=$(sample_state)
grep -qxF 'l--- Image Files\Clip Art\Animals\My Documents' <<<"$before" ||
  { echo "$before"; echo "the directory link is not seen as a link"; exit 1; }

# ------------------------------------------------------- expected states
# Pieces of `qfsample show` output, put together below.

user_kept=$(cat <<'EOF'
[HKCU\Software\Halvern]
[HKCU\Software\Halvern\Quillforge]
[HKCU\Software\Halvern\Quillforge\2.5]
[HKCU\Software\Halvern\Quillforge\2.5] InstallDir = REG_SZ "C:\Program Files\Halvern\Quillforge 2.5"
[HKCU\Software\Halvern\Quillforge\2.5\Preferences]
[HKCU\Software\Halvern\Quillforge\2.5\Preferences] AutoSave = REG_DWORD 0 (0x00000000)
EOF
)

shared_key_with_data=$(cat <<'EOF'
[HKLM\Software\Halvern\Halvern Shared]
[HKLM\Software\Halvern\Halvern Shared] SharedFilesDir = REG_SZ "C:\Program Files\Halvern\Shared"
[HKLM\Software\Halvern\Halvern Shared\Data]
[HKLM\Software\Halvern\Halvern Shared\Data] RootDir = REG_SZ "C:\Program Files\Halvern\Shared\Data"
[HKLM\Software\Halvern\Halvern Shared\Data] UseCount = REG_SZ "1"
EOF
)

product_kept=$(cat <<'EOF'
[HKLM\Software\Halvern\Quillforge]
[HKLM\Software\Halvern\Quillforge\3.0]
[HKLM\Software\Halvern\Quillforge\3.0] InstallAdmin = REG_SZ "1"
[HKLM\Software\Halvern\Quillforge\3.0] InstallDir = REG_SZ "C:\Program Files\Halvern\Quillforge"
[HKLM\Software\Halvern\Quillforge\3.0] UseSharedFiles = REG_SZ "TRUE"
[HKLM\Software\Halvern\Quillforge\3.0\UnInstInfo]
[HKLM\Software\Halvern\Quillforge\3.0\UnInstInfo] UseSharedData = REG_SZ "1"
[HKLM\Software\Halvern\Quillforge\3.0\UnInstInfo] UseSharedImages = REG_DWORD 1 (0x00000001)
[HKLM\Software\Halvern\Quillforge\3.0\UnInstInfo] UseSharedMSHelp = REG_SZ "0"
EOF
)

help_kept=$(cat <<'EOF'
[HKLM\Software\Microsoft\Windows\Help] (values only)
[HKLM\Software\Microsoft\Windows\Help] OtherApp.hlp = REG_SZ "C:\Program Files\OtherApp"
[HKLM\Software\Microsoft\Windows\Help] qfold.hlp = REG_SZ "C:\Program Files\Halvern\Shared\MSHelp\Reference\Legacy"
EOF
)

data_files=$(cat <<'EOF'
d--- Data
d--- Data\Dictionaries
d--- Data\Dictionaries\English
f--- Data\Dictionaries\English\en-GB.dic
f--- Data\Dictionaries\English\en-US.dic
d--- Data\Templates
d--- Data\Templates\Letters
f--- Data\Templates\Letters\formal.qft
f--- Data\Templates\readme.txt
EOF
)

# The read-only help file with its directories, and the link with the
# directories above it (see the top of this file).
leftover_files=$(cat <<'EOF'
d--- Image Files
d--- Image Files\Clip Art
d--- Image Files\Clip Art\Animals
l--- Image Files\Clip Art\Animals\My Documents
d--- MSHelp
d--- MSHelp\Reference
d--- MSHelp\Reference\Legacy
fr-- MSHelp\Reference\Legacy\qfold.hlp
EOF
)

user_docs=$(cat <<'EOF'
paths:
d--- C:\UserDocs
f--- C:\UserDocs\keep.txt
EOF
)

files_heading='files under C:\Program Files\Halvern\Shared:'

after_first_pass="$user_kept
[HKLM\\Software\\Halvern]
$shared_key_with_data
$product_kept
$help_kept

$files_heading
$data_files
$leftover_files

$user_docs"

after_second_pass="$user_kept
[HKLM\\Software\\Halvern]
$product_kept
$help_kept

$files_heading
$leftover_files

$user_docs"

after_second_pass_emptied="$user_kept
[HKLM\\Software\\Halvern]
$product_kept
$help_kept

$files_heading
(missing)

$user_docs"

# ------------------------------------------------------------ the record
# leftover keeps a record of each pass; the others run without, to the same states.
records=$sample_drive_c/QuillforgeRecords
rm -rf "$records"
wine reg delete 'HKLM\Software\Policies\Halvern' /f >/dev/null 2>&1 || true
[ "$scenario" != leftover ] || { mkdir "$records" && wine reg add \
  'HKLM\Software\Policies\Halvern\Quillforge\3.0' /v UninstallRecord /d 'C:\QuillforgeRecords' /f >/dev/null; }

# The plan of the next pass, as qfpreview.exe beside the host predicts it.
cp "$build/qfpreview.exe" "$run_dir/"
save_plan() { wine "$run_dir/qfpreview.exe" --json >"$run_dir/plan.json" || fail "no plan"; }

expect_records() {  # <count>: each ends with its change lines' totals; the newest did the plan
  local file n totals
  [ "$(ls "$records" | wc -l)" = "$1" ] || fail "not $1 record(s)"
  for file in "$records"/*; do
    totals=
    for n in files:delete-file directories:remove-directory links:remove-link keys:delete-key \
      values:delete-value changedValues:set-value; do
      totals+=,\"${n%%:*}\":$(grep -c "^{\"line\":\"change\",\"op\":\"${n#*:}\"" "$file" || true)
    done
    [ "$(tail -n 1 "$file")" = "{\"line\":\"end\",\"complete\":true,\"totals\":{${totals#,}}}" ] ||
      fail "$file: its end is not its changes'"
  done
  wine "$run_dir/qfpreview.exe" --compare "$(winepath -w "$run_dir/plan.json")" \
    "$(winepath -w "$file")" >"$run_dir/compare.txt" || { cat "$run_dir/compare.txt"; fail "the run did not do what was planned"; }
}

# ------------------------------------------------------------ the passes

companion_calls() {
  tr -d '\r' <"$sample_companion_log" 2>/dev/null | grep -c '^RWUNINST UNINSTALLVRXREGISTRY "/vrxreg" usertree=absent$' || true
}

case $scenario in
  leftover | emptied)
    [ "$scenario" != leftover ] || save_plan
    host --init-times 1
    expect_state "after the first pass" "$after_first_pass"
    [ "$(companion_calls)" = 1 ] || fail "the companion was not called once, after the per-user tree had gone"

    if [ "$scenario" = emptied ]; then
      rm "$sample_shared_unix/Image Files/Clip Art/Animals/My Documents"
      chmod -R u+w "$sample_shared_unix"
      rm -rf "$sample_shared_unix/MSHelp" "$sample_shared_unix/Image Files"
      host --init-times 1
      expect_state "after the second pass (shared directory emptied before it)" "$after_second_pass_emptied"
    else
      expect_records 1
      save_plan
      host --init-times 1
      expect_state "after the second pass" "$after_second_pass"
      expect_records 2
    fi
    ;;
  twice)
    host --init-times 2
    expect_state "after two passes in one run" "$after_second_pass"
    ;;
  *)
    echo "unknown scenario $scenario"
    exit 2
    ;;
esac
[ "$(companion_calls)" = 2 ] || fail "the companion was not called once per pass"
sample_user_file_kept || fail "keep.txt was changed"

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "e2e $scenario: all checks passed"
