#!/usr/bin/env bash
# Builds the Debian packages orvane, orvane-accountd and orvane-devsim into dist/ from a
# configured build folder, with CPack (cmake/Packaging.cmake, data files in packaging/). The
# programs and package files are built first where missing.
#
#   scripts/package.sh [--build DIR] [--check]
#
# --build DIR  the build folder (default build/)
# --check      then validate the packages: desktop-file-validate, appstreamcli, systemd-analyze
#              verify on the unit, lintian (errors fail, warnings are shown); install them with
#              dpkg -i and apt-get -f install (as root or through sudo), run the installed
#              programs, and purge them again (with the system user the install created), so
#              the machine is left as it was.
# Any failure ends the script with a non-zero status and a line saying what failed.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD_DIR=build
CHECK=0

usage() { sed -n '2,14p' "$0" | sed 's/^# \{0,1\}//'; }
fail() {
  echo "package: FAILED: $*" >&2
  exit 1
}
step() { echo "package: $*"; }

while [ $# -gt 0 ]; do
  case $1 in
    --build) [ $# -ge 2 ] || fail "--build needs a folder"; BUILD_DIR=$2; shift 2 ;;
    --build=*) BUILD_DIR=${1#--build=}; shift ;;
    --check) CHECK=1; shift ;;
    -h | --help) usage; exit 0 ;;
    *) echo "package: unknown argument \"$1\"" >&2; usage >&2; exit 2 ;;
  esac
done
case $BUILD_DIR in /*) ;; *) BUILD_DIR=$ROOT/$BUILD_DIR ;; esac
DIST=$ROOT/dist
PACKAGES=(orvane orvane-accountd orvane-devsim)
START=$SECONDS

[ -f "$BUILD_DIR/CMakeCache.txt" ] ||
  fail "$BUILD_DIR is not a configured build folder (scripts/build.sh makes build/)"
for tool in cmake cpack dpkg-shlibdeps file objcopy readelf gzip; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

# The packaging rules come with the configuration (cmake/Packaging.cmake writes the list of
# targets the packages need); a build folder configured before them is configured again.
if [ ! -f "$BUILD_DIR/packaging/targets.txt" ] || [ ! -f "$BUILD_DIR/CPackConfig.cmake" ]; then
  step "configuring $BUILD_DIR again for the packaging rules"
  cmake "$BUILD_DIR" >/dev/null || fail "cmake could not configure $BUILD_DIR"
fi
read -r -a targets <<<"$(tr ';' ' ' <"$BUILD_DIR/packaging/targets.txt")"
for p in orvane orvane-accountd devsim; do
  [[ " ${targets[*]} " == *" $p "* ]] ||
    fail "target $p is not part of $BUILD_DIR (is it switched off, or a dependency missing?)"
done
step "building ${targets[*]}"
cmake --build "$BUILD_DIR" --target "${targets[@]}" || fail "building ${targets[*]}"

VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD_DIR/CMakeCache.txt")
[ -n "$VERSION" ] || fail "no project version in $BUILD_DIR/CMakeCache.txt"

step "running cpack (version $VERSION)"
rm -rf "$BUILD_DIR/_cpack"
(cd "$BUILD_DIR" && cpack --config CPackConfig.cmake -B "$BUILD_DIR/_cpack") ||
  fail "cpack could not make the packages (see above)"
mkdir -p "$DIST"
rm -f "$DIST"/orvane*.deb "$DIST"/orvane*.ddeb
shopt -s nullglob
made=("$BUILD_DIR"/_cpack/*.deb)
shopt -u nullglob
[ ${#made[@]} -gt 0 ] || fail "cpack made no packages"
cp "${made[@]}" "$DIST"/
for p in "${PACKAGES[@]}"; do
  [ -f "$DIST/${p}_${VERSION}_$(dpkg --print-architecture).deb" ] || fail "cpack made no $p package"
done
ls -l "$DIST"
if [ "$CHECK" = 0 ]; then
  step "packages in $DIST ($((SECONDS - START)) s)"
  exit 0
fi

# ---------------------------------------------------------------------------------------------
# Checks
debs=("$DIST"/*.deb)
WORK=$(mktemp -d)
SUDO=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || fail "installing the packages needs root or sudo"
  SUDO=sudo
fi
installed_before=()
user_before=0
installed_now=0
cleanup() {
  if [ "$installed_now" = 1 ]; then
    remove=()
    for p in "${PACKAGES[@]}"; do
      [[ " ${installed_before[*]} " == *" $p "* ]] || remove+=("$p")
    done
    if [ ${#remove[@]} -gt 0 ]; then
      step "purging ${remove[*]}"
      $SUDO env DEBIAN_FRONTEND=noninteractive \
        apt-get purge -y -qq -o DPkg::Lock::Timeout=300 "${remove[@]}" >/dev/null ||
        echo "package: FAILED: apt-get purge ${remove[*]}" >&2
    fi
    if [ "$user_before" = 0 ] && getent passwd orvane-accountd >/dev/null; then
      $SUDO deluser --system --quiet orvane-accountd >/dev/null 2>&1 ||
        echo "package: could not remove the system user orvane-accountd" >&2
      if getent group orvane-accountd >/dev/null; then
        $SUDO delgroup --system --quiet orvane-accountd >/dev/null 2>&1 || true
      fi
    fi
  fi
  rm -rf "$WORK"
}
trap cleanup EXIT

# The release must be described everywhere the packages show its version.
changelog_version=$(dpkg-parsechangelog -l packaging/changelog -S Version)
[ "$changelog_version" = "$VERSION" ] ||
  fail "packaging/changelog starts with $changelog_version, the project is $VERSION (add an entry)"
grep -q "<release version=\"$VERSION\"" packaging/orvane/com.orvane.Orvane.metainfo.xml ||
  fail "packaging/orvane/com.orvane.Orvane.metainfo.xml has no <release> for $VERSION"

step "extracting the packages into $WORK/root"
mkdir -p "$WORK/root"
for d in "${debs[@]}"; do dpkg-deb -x "$d" "$WORK/root" || fail "dpkg-deb -x $d"; done
R=$WORK/root

step "desktop-file-validate"
desktop=$R/usr/share/applications/com.orvane.Orvane.desktop
[ -f "$desktop" ] || fail "the orvane package has no $desktop"
desktop-file-validate "$desktop" || fail "desktop-file-validate found errors in the desktop file"

step "appstreamcli validate --no-net"
metainfo=$R/usr/share/metainfo/com.orvane.Orvane.metainfo.xml
[ -f "$metainfo" ] || fail "the orvane package has no AppStream metadata"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli found errors in the metainfo"

step "systemd-analyze verify"
unit=$R/lib/systemd/system/orvane-accountd.service
[ -f "$unit" ] || fail "the orvane-accountd package has no $unit"
# verify looks up the unit's ExecStart and dependencies below --root: the extracted packages
# and this machine's targets. systemd 252 only warns about a bad setting ("..., ignoring"), so
# any output fails too.
for d in /lib/systemd/system /usr/lib/systemd/system; do
  if [ -d "$d" ]; then cp -n "$d"/*.target "$R/lib/systemd/system/" 2>/dev/null || true; fi
done
[ -f "$R/lib/systemd/system/sysinit.target" ] || fail "systemd's units are missing (install systemd)"
verify_out=$WORK/verify.log
if ! systemd-analyze verify --man=no --root="$R" "$unit" >"$verify_out" 2>&1 ||
  [ -s "$verify_out" ]; then
  cat "$verify_out" >&2
  fail "systemd-analyze verify rejects orvane-accountd.service (above)"
fi

step "lintian (errors fail, warnings are shown)"
lintian --fail-on error --tag-display-limit 0 "${debs[@]}" ||
  fail "lintian reports errors (above)"

step "installing with dpkg -i and apt-get -f install"
for p in "${PACKAGES[@]}"; do
  if dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    installed_before+=("$p")
  fi
done
getent passwd orvane-accountd >/dev/null && user_before=1
[ ${#installed_before[@]} -eq 0 ] ||
  step "already installed here (left installed afterwards): ${installed_before[*]}"
installed_now=1
export DEBIAN_FRONTEND=noninteractive
# dpkg fails here when a dependency is missing; apt-get -f install then fetches it.
for attempt in 1 2 3 4 5 6; do
  if $SUDO dpkg -i "${debs[@]}" >"$WORK/dpkg.log" 2>&1; then break; fi
  if grep -q "lock" "$WORK/dpkg.log" && [ "$attempt" -lt 6 ]; then
    step "dpkg is locked by another process, waiting"
    sleep 20
    continue
  fi
  cat "$WORK/dpkg.log"
  break
done
$SUDO env DEBIAN_FRONTEND=noninteractive apt-get -f install -y -qq -o DPkg::Lock::Timeout=300 ||
  fail "apt-get -f install could not complete the installation"
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    fail "$p is not installed after dpkg -i and apt-get -f install"
done

step "running the installed programs"
out=$(QT_QPA_PLATFORM=offscreen /usr/bin/orvane --version 2>&1) ||
  fail "/usr/bin/orvane --version exited with $?: $out"
echo "  orvane --version: $out"
[[ $out == *"$VERSION"* ]] || fail "orvane --version does not print $VERSION"
out=$(/usr/bin/orvane-accountd --help 2>&1) || fail "/usr/bin/orvane-accountd --help failed: $out"
echo "  orvane-accountd --help: $(echo "$out" | head -1)"
out=$(/usr/bin/devsim --help 2>&1) || fail "/usr/bin/devsim --help failed: $out"
echo "  devsim --help: $(echo "$out" | head -1)"
getent passwd orvane-accountd >/dev/null || fail "the postinst created no user orvane-accountd"
[ -d /var/lib/orvane-accountd ] || fail "the postinst created no /var/lib/orvane-accountd"
[ -L /etc/systemd/system/multi-user.target.wants/orvane-accountd.service ] ||
  fail "the postinst did not enable orvane-accountd.service"
# The service's user can create its database in the state directory.
out=$(cd / && $SUDO setpriv --reuid=orvane-accountd --regid=orvane-accountd --clear-groups \
  /usr/bin/orvane-accountd --db sqlite:/var/lib/orvane-accountd/check.db add-user check \
  check-password 2>&1) || fail "orvane-accountd add-user as the service's user failed: $out"
$SUDO sh -c 'rm -f /var/lib/orvane-accountd/check.db*'

cleanup
installed_now=0
trap - EXIT
for p in "${PACKAGES[@]}"; do
  [[ " ${installed_before[*]} " == *" $p "* ]] && continue
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  if [ -n "$status" ] && [[ $status != *not-installed* ]]; then
    fail "$p is left after apt-get purge ($status)"
  fi
done
[ ! -e /var/lib/orvane-accountd ] || [ "$user_before" = 1 ] ||
  fail "/var/lib/orvane-accountd is left after the purge"
[ ! -e /etc/orvane-accountd ] || [ ${#installed_before[@]} -gt 0 ] ||
  fail "/etc/orvane-accountd is left after the purge"
step "all checks passed ($((SECONDS - START)) s)"
