#!/usr/bin/env bash
# An install into a temporary prefix: every file a desktop system looks for is there and valid,
# the manual page names every option of --help, and the installed program keeps its catalogue
# in the per-user data folder, never beside itself.
#
#   check-install.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'chmod -R u+w "$work"; rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

id=org.corvelle.Corvelle
for file in bin/corvelle bin/corvelle-cli \
    share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
    share/icons/hicolor/scalable/apps/$id.svg \
    share/icons/hicolor/{16x16,32x32,48x48,128x128,256x256}/apps/$id.png \
    share/man/man1/corvelle.1.gz share/man/man1/corvelle-cli.1.gz \
    share/bash-completion/completions/corvelle-cli share/zsh/vendor-completions/_corvelle-cli \
    share/doc/corvelle/Corvelle.html share/doc/corvelle/copyright share/doc/corvelle/changelog.gz; do
    [[ -s $prefix/$file ]] || fail "missing $file"
done

desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "desktop entry"
appstreamcli validate --no-net --explain "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null ||
    fail "AppStream metadata"

# Every option the program offers is in its manual page, and the pages render without warnings.
page=$(zcat "$prefix/share/man/man1/corvelle-cli.1.gz" | sed 's/\\-/-/g')
for option in $("$prefix/bin/corvelle-cli" --help | grep -o -E -- '(^|[ ,])--?[a-z][a-z-]*' | tr -d ' ,' | sort -u); do
    grep -q -- "$option" <<<"$page" || fail "corvelle-cli(1) does not name $option"
done
for man in corvelle corvelle-cli; do
    warnings=$(zcat "$prefix/share/man/man1/$man.1.gz" | groff -ww -man -Tutf8 2>&1 >/dev/null)
    [[ -z $warnings ]] || fail "$man(1) renders with warnings: $warnings"
done

# The completion offers options and --format values.
completions=$(PATH="$prefix/bin:$PATH" bash -c '
    source "$1"
    COMP_WORDS=(corvelle-cli --form); COMP_CWORD=1; _corvelle_cli; echo "${COMPREPLY[@]}"
    COMP_WORDS=(corvelle-cli --format c); COMP_CWORD=2; _corvelle_cli; echo "${COMPREPLY[@]}"
' _ "$prefix/share/bash-completion/completions/corvelle-cli")
[[ $completions == $'--format\ncsv' ]] || fail "bash completion gave: $completions"

# A read-only install: the catalogue goes to $XDG_DATA_HOME/corvelle.
chmod -R a-w "$prefix"
export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/runtime QT_QPA_PLATFORM=offscreen
mkdir -m 700 "$XDG_RUNTIME_DIR"
timeout 5 "$prefix/bin/corvelle" >/dev/null 2>&1 || true
[[ -f $XDG_DATA_HOME/corvelle/data.dat ]] || fail "no catalogue in the per-user data folder"
[[ ! -e $prefix/bin/data.dat ]] || fail "the installed program wrote beside itself"

"$prefix/bin/corvelle-cli" --version >/dev/null || fail "installed corvelle-cli does not run"
exit $failed
