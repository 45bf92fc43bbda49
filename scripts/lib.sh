# What the scripts share; sourced, not run.
# shellcheck shell=bash

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# setup_build DIR [MESON-OPTION...]: configures DIR for this repository, or
# configures it again with these options when it exists.
setup_build() {
    local dir=$1
    shift
    if [[ -f $dir/build.ninja ]]; then
        meson setup --reconfigure "$dir" "$repo" "$@" >/dev/null
    else
        meson setup "$dir" "$repo" --native-file "$repo/machines/native.ini" \
            "$@" >/dev/null
    fi
}
