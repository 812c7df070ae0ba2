# Sourced by every stage: strict mode, the repository root as the working
# folder, and what more than one stage uses.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

# The release files that stages build are unsigned, whatever keys the
# environment names; .ci/signing names its own.
unset VARNHOLT_SIGN_GPG_KEY VARNHOLT_SIGN_CERT VARNHOLT_SIGN_KEY VARNHOLT_SIGN_TIMESTAMP

step() { printf '\n=== %s\n' "$*"; }

# What a stage leaves behind (an installed package, a wine server) is undone
# on every exit, failures included.
cleanups=()
on_exit() { cleanups+=("$1"); }
# Removes each path on exit, whatever it holds (a space, a quote).
remove_on_exit() {
    local path
    for path; do on_exit "rm -rf -- $(printf '%q' "$path")"; done
}
trap 'for c in "${cleanups[@]}"; do eval "$c" || true; done' EXIT

version=$(sed -n 's/^ *VERSION \([0-9][0-9.]*\)$/\1/p' CMakeLists.txt)

expected_output="recording has 2 auido tracks, main track is :0 (start from 0)
new audio track was set to 1"
# Patches a copy of the sample with "$@" FILE 1 and checks the output and
# that only byte 47 (48 counted from 1) changed, from 0 to 1.
patch_sample() {
    local copy out
    copy=$(mktemp)
    cp samples/two-tracks.kelv "$copy"
    out=$("$@" "$copy" 1)
    [ "$out" = "$expected_output" ] || { echo "$* printed: $out"; rm -f "$copy"; return 1; }
    [ "$(cmp -l samples/two-tracks.kelv "$copy")" = "$(printf '%d %3o %3o' 48 0 1)" ] ||
        { echo "$* changed the copy otherwise:"; cmp -l samples/two-tracks.kelv "$copy"; rm -f "$copy"; return 1; }
    rm -f "$copy"
}

# The state of the work tree: the commit, and a commit of any uncommitted
# changes to tracked files (empty when there are none).
tree_state() { echo "$(git rev-parse HEAD) $(git stash create)"; }

# dist/ as packaging/release.sh makes it from the tree as it is now: the
# release stage builds it, and a stage run alone after a change builds it
# again.
release_files() {
    if [ -f dist/SHA256SUMS ] && [ "$(cat build/release.state 2>/dev/null)" = "$(tree_state)" ]; then
        return
    fi
    step "release files: packaging/release.sh"
    local started=$SECONDS
    bash packaging/release.sh
    echo "release.sh took $((SECONDS - started)) s"
    mkdir -p build
    tree_state >build/release.state
}

# The static binaries from the release tarballs, unpacked into
# build/released/<arch>/varnholt-<version>-linux-<arch>.
released=$PWD/build/released
released_binaries() {
    release_files
    local arch
    rm -rf "$released"
    for arch in x86_64 aarch64; do
        mkdir -p "$released/$arch"
        tar -xzf "dist/varnholt-$version-linux-$arch.tar.gz" -C "$released/$arch"
    done
}

# Wine for a stage: the prefix $1, an X display of the stage's own (wine
# draws the console windows of Explorer's sessions on one), and one wine
# server for the whole stage, started before anything else starts one; its
# helpers outlive each run, so its output goes nowhere a test reads.
wine_session() {
    export WINEPREFIX=$1 WINEDEBUG=-all
    local display
    display=$(mktemp)
    remove_on_exit "$display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display" >/dev/null 2>&1 &
    on_exit "kill $!"
    for _ in $(seq 100); do [ -s "$display" ] && break; sleep 0.1; done
    DISPLAY=:$(cat "$display")
    export DISPLAY
    wineserver -k >/dev/null 2>&1 || true
    mkdir -p "$WINEPREFIX"
    wineserver -p >/dev/null 2>&1 </dev/null
    on_exit 'wineserver -k >/dev/null 2>&1'
    wineboot --init >/dev/null 2>&1 </dev/null
}
