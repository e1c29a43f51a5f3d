#!/usr/bin/env bash
# Builds the minimal Qt 5.15 that the 32-bit Windows panel needs, from Debian's
# own qtbase source package, with mingw-w64 (i686, posix threads), and installs
# it into a cache folder outside the checkout. Nothing prebuilt comes from
# anywhere else. Prints the install folder as its last line.
#
# The cache is keyed by the source version, the configure options and modules,
# the compiler's and headers' package versions and this script's own text:
# while the key is the same, the installed Qt is reused and nothing is built.
# About 30 minutes with -j2 on a 2-core machine; 105 MB installed.
#
#   WINDOWS_CACHE  where the builds are kept (default /var/cache/dio-panel)
set -euo pipefail
cd "$(dirname "$0")/.."
script="$PWD/scripts/build-qt-win32.sh"
cache="${WINDOWS_CACHE:-/var/cache/dio-panel}"
jobs="${JOBS:-2}"
log() { echo "qt-win32: $*" >&2; }

scripts/setup.sh g++-mingw-w64-i686-posix dpkg-dev xz-utils make perl python3 >&2

# Debian's source packages: a deb-src entry beside the system's binary ones
# (updating with only a deb-src list in view would drop the binary lists).
package=qtbase-opensource-src
if ! apt-cache showsrc "$package" 2>/dev/null | grep -q '^Version:'; then
  [ "$(id -u)" -eq 0 ] || { log "not root: add a deb-src entry for Debian main, then run again"; exit 1; }
  codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
  log "adding Debian's source packages for $codename to apt's sources"
  cat >/etc/apt/sources.list.d/dio-panel-debian-src.sources <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $codename
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  apt-get update -qq >&2
fi
version="$(apt-cache showsrc "$package" | sed -n 's/^Version: //p' | sort -V | tail -n1)"

# Only what the panel and its tests use: core, gui, widgets, testlib, the
# Windows and offscreen platforms and the native style. The Debian tarball has
# no Wintab headers, so the old tablet path is left out.
options=(-xplatform win32-g++ -device-option CROSS_COMPILE=i686-w64-mingw32-
         -opensource -confirm-license -release -shared -nomake examples -nomake tests
         -no-opengl -no-dbus -no-icu -no-openssl -no-libjpeg -no-feature-tabletevent
         -no-sql-sqlite -no-sql-odbc -no-sql-psql -no-sql-mysql
         -qt-zlib -qt-pcre -qt-libpng -qt-freetype -qt-harfbuzz)
modules=(corelib gui widgets testlib platformsupport winmain)
tools=(moc rcc uic)
plugins=(platforms/windows platforms/offscreen styles/windowsvista)

compilers="$(dpkg-query -W -f='${Package}=${Version} ' g++-mingw-w64-i686-posix \
             gcc-mingw-w64-i686-posix-runtime mingw-w64-i686-dev mingw-w64-common)"
key="$(printf '%s\n' "$package=$version" "${options[*]}" "${modules[*]} ${plugins[*]}" \
         "$compilers" "$(sha256sum <"$script")" | sha256sum | cut -c1-16)"
prefix="$cache/qt-5-win32-$key"
if [ -f "$prefix/.complete" ]; then
  log "reusing $prefix ($package $version)"
  echo "$prefix"
  exit 0
fi

log "building Qt from $package $version into $prefix (about half an hour with -j$jobs)"
work="$(mktemp -d /var/tmp/dio-panel-qt.XXXXXX)"
trap 'rm -rf "$work"' EXIT
rm -rf "$prefix"
mkdir -p "$prefix"

(cd "$work" && apt-get source --download-only "$package=$version" >/dev/null 2>&1)
dpkg-source -x "$work"/*.dsc "$work/src" >/dev/null

# The posix-thread compilers under the names the win32-g++ mkspec calls:
# Qt needs std::mutex and std::thread, which the win32 thread model lacks.
mkdir -p "$work/bin"
for tool in gcc g++; do
  ln -s "$(command -v i686-w64-mingw32-$tool-posix)" "$work/bin/i686-w64-mingw32-$tool"
done
export PATH="$work/bin:$PATH"

mkdir "$work/build"
cd "$work/build"
fail() { tail -n 60 "$1" >&2; log "failed; the whole log was $work/build/$1"; trap - EXIT; exit 1; }
log "configuring"
"$work/src/configure" -prefix "$prefix" "${options[@]}" >configure.log 2>&1 || fail configure.log
make sub-src-qmake_all >qmake.log 2>&1 || fail qmake.log

log "building ${modules[*]} and the plugins ${plugins[*]}"
targets=()
for m in "${modules[@]}"; do targets+=("sub-$m"); done
make -C src -j"$jobs" "${targets[@]}" >build.log 2>&1 || fail build.log
for p in "${plugins[@]}"; do
  make -C "src/plugins/$p" -j"$jobs" >>build.log 2>&1 || fail build.log
done

log "installing"
{
  make install_syncqt install_mkspecs sub-qmake-qmake-aux-pro-install_subtargets
  for t in "${tools[@]}"; do make -C "src/tools/$t" install; done
  for m in "${modules[@]}"; do make -C "src/$m" install; done
  for p in "${plugins[@]}"; do make -C "src/plugins/$p" install; done
} >install.log 2>&1 || fail install.log
cp "$work/src/LICENSE.LGPL3" "$prefix/"
cat >"$prefix/SOURCE" <<EOF
Qt ${version%%+*}, built from Debian's source package $package, version $version
(apt-get source $package=$version: the upstream source with Debian's patches,
nothing else changed), by scripts/build-qt-win32.sh of dio-panel, with
i686-w64-mingw32 (posix threads) and the configure options
  ${options[*]}
Compilers and headers: $compilers
EOF
touch "$prefix/.complete"
log "done: $(du -sh "$prefix" | cut -f1) in $prefix"
echo "$prefix"
