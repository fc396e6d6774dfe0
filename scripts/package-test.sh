#!/usr/bin/env bash
# Checks a built Debian package as a user's machine would see it: its files, its metadata,
# and the program started from its desktop entry's command line out of an unpacked, read-only
# copy under Xvfb, with nothing written anywhere but the user's data folder.
#   scripts/package-test.sh PACKAGE.deb
set -euo pipefail
package=$(realpath "$1")
work=$(mktemp -d)
trap 'chmod -R u+w "$work" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "package-test: $*" >&2; exit 1; }

# 1. The files: everything the program needs, under /usr only.
dpkg-deb --contents "$package" | awk '{ print $6 }' | sed 's,^\./,/,; s,/$,,' | sort >"$work/files"
expected=(
    /usr/bin/Cantavo /usr/bin/cantavo /usr/bin/cantavo-cli
    /usr/lib/cantavo/libCantakit.so /usr/lib/cantavo/libCantacore.so
    /usr/lib/cantavo/libCantaskin.so /usr/lib/cantavo/libCantawave.so
    /usr/lib/cantavo/libwmaconv.so /usr/lib/cantavo/libwmaconv_codec.so
    /usr/lib/cantavo/libmsacm.so /usr/lib/cantavo/libmmsystem.so
    /usr/lib/cantavo/libwinmsg.so /usr/lib/cantavo/libmidibytes.so
    /usr/lib/cantavo/libvirtualpiano.so /usr/lib/cantavo/librtthread.so
    /usr/share/applications/com.tolvarine.Cantavo.desktop
    /usr/share/metainfo/com.tolvarine.Cantavo.metainfo.xml
    /usr/share/icons/hicolor/scalable/apps/com.tolvarine.Cantavo.svg
    /usr/share/icons/hicolor/48x48/apps/com.tolvarine.Cantavo.png
    /usr/share/icons/hicolor/256x256/apps/com.tolvarine.Cantavo.png
    /usr/share/doc/cantavo/copyright /usr/share/doc/cantavo/changelog.gz
    /usr/share/cantavo/ZQ31Concertino.pdf /usr/share/cantavo/ZQ31Concertino_G.pdf
    /usr/share/cantavo/ZQ31Concertino_F.pdf
    /usr/share/man/man1/cantavo.1.gz /usr/share/man/man1/cantavo-cli.1.gz
)
for file in "${expected[@]}"; do
    grep -qxF "$file" "$work/files" || fail "$file is missing from the package"
done
if grep -v '^/usr' "$work/files" | grep -q .; then
    fail "files outside /usr: $(grep -v '^/usr' "$work/files" | tr '\n' ' ')"
fi
depends=$(dpkg-deb -f "$package" Depends)
for dependency in libqt6widgets6 libasound2 libavcodec59 libfluidsynth3 fonts-ipafont-gothic; do
    [[ "$depends" == *"$dependency"* ]] || fail "Depends lacks $dependency: $depends"
done
echo "package-test: $(wc -l <"$work/files") entries, dependencies from the binaries: $depends"

# 2. The metadata, as the desktop and the software centres read it.
mkdir "$work/root"
dpkg-deb -x "$package" "$work/root"
desktop-file-validate "$work/root/usr/share/applications/com.tolvarine.Cantavo.desktop"
appstreamcli validate --no-net --pedantic "$work/root/usr/share/metainfo/com.tolvarine.Cantavo.metainfo.xml" >/dev/null ||
    appstreamcli validate --no-net "$work/root/usr/share/metainfo/com.tolvarine.Cantavo.metainfo.xml"

# 3. The program from its desktop entry's command line, out of a copy nobody may write to.
exec_line=$(sed -n 's/^Exec=//p' "$work/root/usr/share/applications/com.tolvarine.Cantavo.desktop")
read -r -a command <<<"$exec_line"
command[0]="$work/root/usr/bin/${command[0]##*/}"
chmod -R a-w "$work/root"
touch "$work/started"
mkdir -p "$work/home"
env -i PATH=/usr/bin:/bin HOME="$work/home" LOG="$work/program.log" \
    xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bash -c '
        "$@" >"$LOG" 2>&1 &
        program=$!
        shown=0
        timeout 120 xdotool search --sync --onlyvisible --name "ZQ31 Concertino" >/dev/null 2>&1 && shown=1
        kill -TERM "$program" 2>/dev/null || true
        wait "$program" || true
        [[ $shown == 1 ]]' _ "${command[@]}" || { cat "$work/program.log" >&2; fail "the installed program did not show its window"; }

# Its files went into the user's data folder, and nowhere below the installed copy.
[[ -d "$work/home/.local/share/Tolvarine/Cantavo" ]] || fail "no program folder in the user's data folder"
written=$(find "$work/root" -newer "$work/started" | head -5)
[[ -z "$written" ]] || fail "the program wrote into its installation: $written"
echo "package-test: the installed program showed its window; its files are in ~/.local/share/Tolvarine/Cantavo"
