# shellcheck shell=bash
# The sample installation of qfsample.exe, set up the way scripts/demo and
# the end-to-end test uninstall it, in the prefix that scripts/lib/wine.sh
# has set up:
#
#   . scripts/lib/sample.sh
#   sample_use "$build"            # the build tree with qfsample.exe, qfhost.exe, the DLL
#   sample_install                 # the installation, and the user's documents linked into it
#   sample_host_dir "$run_dir"     # the host beside the library and the companions
#   sample_state                   # what matters of it, as text
#
# The installation's shared files are under $sample_shared; the user's own
# documents are C:\UserDocs, outside it.

sample_shared='C:\Program Files\Halvern\Shared'

# Names the build tree to take the programs from, and where the prefix keeps
# the installation on the unix side.
sample_use() {
  sample_build=$1
  sample_drive_c=$WINEPREFIX/drive_c
  sample_shared_unix="$sample_drive_c/Program Files/Halvern/Shared"
}

sample_tool() {
  wine "$sample_build/qfsample.exe" "$@"
}

# The registry keys, the shared files, and the user's files behind the link.
sample_state() {
  sample_tool show "$sample_shared" 'C:\UserDocs' 'C:\UserDocs\keep.txt'
}

# Writes the installation afresh, and the user's documents outside the shared
# area, linked from deep inside the Image Files tree: the pass must not follow
# the link into them.  The link is made from the unix side, since Wine's
# CreateSymbolicLink makes nothing, and for the same reason a link left by an
# earlier run is removed from there before qfsample clears the rest.
sample_install() {
  [ ! -d "$sample_shared_unix" ] || find "$sample_shared_unix" -type l -delete
  rm -rf "$sample_drive_c/UserDocs"
  sample_tool install "$sample_shared"
  mkdir -p "$sample_drive_c/UserDocs"
  echo "the user's own file" >"$sample_drive_c/UserDocs/keep.txt"
  ln -s "$sample_drive_c/UserDocs" "$sample_shared_unix/Image Files/Clip Art/Animals/My Documents"
}

# Whether the user's file is still as sample_install wrote it.
sample_user_file_kept() {
  [ "$(cat "$sample_drive_c/UserDocs/keep.txt" 2>/dev/null)" = "the user's own file" ]
}

# Makes DIR afresh with the host, the library and the companion stand-ins
# (when built) beside it, so the library finds its companions the way the
# product does.  The stand-ins log their calls to $sample_companion_log.
sample_host_dir() {
  rm -rf "$1"
  mkdir -p "$1"
  cp "$sample_build/qfhost.exe" "$sample_build/QFUNINST.DLL" "$1/"
  if compgen -G "$sample_build/companions/*.DLL" >/dev/null; then
    cp "$sample_build"/companions/*.DLL "$1/"
  fi
  sample_companion_log=$1/companions.log
  export QF_COMPANION_LOG="Z:${sample_companion_log//\//\\}"
}
