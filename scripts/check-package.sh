#!/usr/bin/env bash
# The Debian package, proven on this machine: built with CPack, installed with
# dpkg, the example host compiled against the installed header through
# pkg-config and through the CMake package and run against the installed
# module, cvlhost run from the PATH; then the package is removed again (also
# when a check fails) and nothing of it may be left behind.
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
dir=build/package
package=vorquell-camera

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
fail() { echo "check-package: FAILED: $*" >&2; exit 1; }
say() { echo "check-package: $*"; }

scripts/setup-debian.sh
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr -DVQ_BUILD_TESTS=OFF -DVQ_BUILD_BENCH=OFF
cmake --build "$dir" -j"$(nproc)"
rm -f "$dir"/${package}_*.deb
(cd "$dir" && cpack -G DEB)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
deb="$dir/${package}_${version}_amd64.deb"
[ -f "$deb" ] || fail "$deb was not built"

# What the package holds and needs.
libdir=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)
contents=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
for file in "$libdir/libVorquellCamera.so" /usr/include/VorquellCamera.h /usr/bin/cvlhost \
            "$libdir/pkgconfig/vorquell-camera.pc" \
            "$libdir/cmake/VorquellCamera/VorquellCameraConfig.cmake" \
            "$libdir/cmake/VorquellCamera/VorquellCameraConfigVersion.cmake" \
            /usr/share/man/man1/cvlhost.1.gz /usr/share/doc/$package/copyright \
            /usr/share/doc/$package/README.md /usr/share/doc/$package/FLEET.md \
            /usr/share/doc/$package/examples/minimal_host.c /usr/share/doc/$package/examples/fleets/line-mono.json; do
  grep -qx "$file" <<<"$contents" || fail "the package lacks $file"
done
if grep -v -e '^/$' -e '^/usr/' <<<"$contents" | grep -q .; then fail "the package installs outside /usr"; fi
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libc6 libstdc++6 libqt6widgets6 libpng16-16; do
  grep -q "\\b$needed\\b" <<<"$depends" || fail "Depends lacks $needed (shlibdeps): $depends"
done
say "$deb: $(wc -l <<<"$contents") entries; Depends: $depends"

if dpkg -s "$package" >/dev/null 2>&1; then
  say "$package is installed (left over from an interrupted run?): removing it first"
  $sudo dpkg --purge "$package"
fi

work=$(mktemp -d)
# dpkg -r keeps the package's record ("deinstall ok config-files"); --purge drops it.
cleanup() {
  if dpkg -s "$package" >/dev/null 2>&1; then $sudo dpkg --purge "$package" >/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

$sudo dpkg -i "$deb"
installed=$(dpkg -L "$package")

# The example host through pkg-config: the module's path compiled in, and by
# its bare name through the loader's cache.
unset VORQUELL_SIM_FLEET VORQUELL_CAMERA_MODULE VORQUELL_SDK_BACKEND
[ "$(pkg-config --modversion $package)" = "$version" ] || fail "pkg-config reports another version"
module=$(pkg-config --variable=module $package)
[ "$module" = "$libdir/libVorquellCamera.so" ] || fail "pkg-config's module is '$module'"
example=/usr/share/doc/$package/examples/minimal_host.c
# shellcheck disable=SC2046
cc -std=c11 -Wall -Wextra -Werror -o "$work/minimal_host" "$example" $(pkg-config --cflags --libs $package) \
   -lpthread -DVQ_MODULE="\"$module\""
cc -std=c11 -Wall -Wextra -Werror -o "$work/minimal_host_by_name" "$example" \
   $(pkg-config --cflags --libs $package) -lpthread
for host in minimal_host minimal_host_by_name; do
  (cd "$work" && TMPDIR="$work" "./$host") >"$work/$host.out" 2>&1 || { cat "$work/$host.out"; fail "$host failed"; }
  grep -q "^grabbed a frame from .*, [0-9]* of \\([0-9]*\\) rows$" "$work/$host.out" || { cat "$work/$host.out"; fail "$host grabbed no frame"; }
  say "$host: $(grep '^grabbed' "$work/$host.out")"
done

# The same host through the CMake package, which must refuse another major version.
mkdir -p "$work/cmake-host"
cat >"$work/cmake-host/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(minimal_host C)
find_package(VorquellCamera 99 QUIET)
if(VorquellCamera_FOUND)
  message(FATAL_ERROR "version 99 was accepted")
endif()
find_package(VorquellCamera ${version%%.*} REQUIRED)
find_package(Threads REQUIRED)
get_target_property(module VorquellCamera::VorquellCamera VORQUELL_CAMERA_MODULE)
if(NOT module STREQUAL VorquellCamera_MODULE OR NOT EXISTS "\${module}")
  message(FATAL_ERROR "module: '\${module}' and '\${VorquellCamera_MODULE}'")
endif()
add_executable(minimal_host $example)
target_link_libraries(minimal_host PRIVATE VorquellCamera::VorquellCamera Threads::Threads)
target_compile_definitions(minimal_host PRIVATE VQ_MODULE="\${VorquellCamera_MODULE}")
CMAKE
cmake -S "$work/cmake-host" -B "$work/cmake-host/build" >/dev/null
cmake --build "$work/cmake-host/build" >/dev/null
(cd "$work" && TMPDIR="$work" cmake-host/build/minimal_host) >"$work/cmake.out" 2>&1 || { cat "$work/cmake.out"; fail "the CMake-built host failed"; }
grep -q "^grabbed a frame from" "$work/cmake.out" || fail "the CMake-built host grabbed no frame"
say "CMake package: $(grep '^grabbed' "$work/cmake.out")"

# cvlhost from the PATH, with the module found in its installed place.
[ "$(command -v cvlhost)" = /usr/bin/cvlhost ] || fail "cvlhost is not /usr/bin/cvlhost on the PATH"
(cd "$work" && cvlhost list) >"$work/list.out" 2>&1 || { cat "$work/list.out"; fail "cvlhost list failed"; }
grep -q "^2 camera(s):" "$work/list.out" || { cat "$work/list.out"; fail "cvlhost list found no cameras"; }
(cd "$work" && cvlhost --json grab -n 3 --save 0) >"$work/grab.json" || fail "cvlhost grab failed"
grep -q '"framesReceived": 3' "$work/grab.json" || { cat "$work/grab.json"; fail "cvlhost grab: not 3 frames"; }
zcat /usr/share/man/man1/cvlhost.1.gz | grep -q '^\.SH ENVIRONMENT' || fail "the manual page lacks its sections"
say "cvlhost from the PATH: $(grep "camera(s)" "$work/list.out")"

# Removal leaves nothing behind.
$sudo dpkg -r "$package"
if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed'; then fail "$package is still installed"; fi
$sudo dpkg --purge "$package"
if dpkg -s "$package" >/dev/null 2>&1; then fail "dpkg still knows $package after --purge"; fi
left=""
while IFS= read -r path; do
  if [ -f "$path" ] || [ -L "$path" ]; then left+="$path "; fi
done <<<"$installed"
[ -z "$left" ] || fail "left behind after dpkg -r: $left"
say "installed, used and removed cleanly"
