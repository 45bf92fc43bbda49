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

# debian_mirror: the Debian archive this machine installs its own release
# from, as its apt sources name it (deb822 or one-line entries).
debian_mirror() {
    local release file
    release=$(. /etc/os-release && echo "$VERSION_CODENAME")
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.{list,sources}; do
        [[ ! -f $file ]] || { cat "$file" && echo; } # a paragraph ends with a file
    done | awk -v release="$release" 'BEGIN { RS = "" } {
        uris = suites = ""
        n = split($0, line, "\n")
        for (i = 1; i <= n; i++) {
            if (sub(/^deb( \[[^]]*\])? /, "", line[i]) && split(line[i], f) > 1 &&
                f[2] == release) { print f[1]; exit }
            if (sub(/^URIs: */, "", line[i])) uris = line[i]
            if (sub(/^Suites: */, "", line[i])) suites = " " line[i] " "
        }
        if (split(uris, u) && index(suites, " " release " ")) { print u[1]; exit }
    }' | grep . || {
        echo "no apt source of Debian $release in /etc/apt" >&2
        return 1
    }
}
