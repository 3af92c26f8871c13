#!/usr/bin/env bash
# Installs the K48213 collector as a systemd service.
#
#   install.sh [--build-dir DIR] [--prefix DIR] [--home DIR] [--user NAME] [--destdir DIR] [--dry-run]
#
#   --build-dir  where the built k48213 (and k48213ctl, when built) are   (default: <repo>/build)
#   --prefix     where the executables go                                  (default: /opt/k48213)
#   --home       the application folder: configuration, log/, help/       (default: /var/lib/k48213)
#   --user       the account the service runs as                           (default: k48213)
#   --destdir    stage everything below DIR (also $DESTDIR): no account is created, nothing is
#                handed to systemd; the unit still names the final paths
#   --dry-run    print what would be done and change nothing
#
# Without --destdir the account is created when missing, the application folder is given to it, and
# systemd is reloaded; enable and start the service with `systemctl enable --now k48213`.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
repo="$(dirname "$here")"

build_dir="$repo/build"
prefix=/opt/k48213
home=/var/lib/k48213
user=k48213
destdir="${DESTDIR:-}"
dry_run=0

die() { echo "install.sh: $*" >&2; exit 2; }

while [[ $# -gt 0 ]]; do
  case "$1" in
    --build-dir) [[ $# -ge 2 ]] || die "$1 needs a value"; build_dir="$2"; shift 2 ;;
    --prefix)    [[ $# -ge 2 ]] || die "$1 needs a value"; prefix="$2"; shift 2 ;;
    --home)      [[ $# -ge 2 ]] || die "$1 needs a value"; home="$2"; shift 2 ;;
    --user)      [[ $# -ge 2 ]] || die "$1 needs a value"; user="$2"; shift 2 ;;
    --destdir)   [[ $# -ge 2 ]] || die "$1 needs a value"; destdir="$2"; shift 2 ;;
    --dry-run)   dry_run=1; shift ;;
    -h|--help)   sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown option: $1" ;;
  esac
done

# The paths and the account end up in the unit file, where blanks, quotes, '%' or '$' would change
# its meaning: only plain absolute paths and ordinary account names are accepted.
path_ok() { [[ "$1" =~ ^/[A-Za-z0-9._/+@-]*$ && "$1" != *"/../"* && "$1" != *"/.." ]]; }
path_ok "$prefix" || die "--prefix must be a plain absolute path: $prefix"
path_ok "$home" || die "--home must be a plain absolute path: $home"
[[ "$user" =~ ^[a-z_][a-z0-9_-]{0,31}$ ]] || die "--user is not a valid account name: $user"
if [[ -n "$destdir" ]]; then
  [[ "$destdir" == /* ]] || destdir="$(pwd)/$destdir"
fi

[[ -x "$build_dir/k48213" ]] || die "no built k48213 in $build_dir (build it first, or pass --build-dir)"
executables=(k48213)
[[ -x "$build_dir/k48213ctl" ]] && executables+=(k48213ctl)

prefix="${prefix%/}"
home="${home%/}"
unit_dir=/etc/systemd/system

run() {
  if [[ $dry_run -eq 1 ]]; then
    printf '%q ' "$@"; echo
  else
    "$@"
  fi
}

echo "Installing K48213: executables in $prefix, application folder $home, user $user${destdir:+, staged in $destdir}"

run install -d -m 0755 "$destdir$prefix" "$destdir$unit_dir"
run install -d -m 0750 "$destdir$home" "$destdir$home/log"
for exe in "${executables[@]}"; do
  run install -m 0755 "$build_dir/$exe" "$destdir$prefix/$exe"
done
if [[ -d "$repo/help" ]]; then
  run install -d -m 0755 "$destdir$home/help"
  shopt -s nullglob
  help_files=("$repo"/help/*)
  shopt -u nullglob
  [[ ${#help_files[@]} -gt 0 ]] && run cp -R "${help_files[@]}" "$destdir$home/help/"
fi

unit_text="$(sed -e "s|@BINDIR@|$prefix|g" -e "s|@HOME@|$home|g" -e "s|@USER@|$user|g" "$here/k48213.service")"
if [[ $dry_run -eq 1 ]]; then
  echo "write $destdir$unit_dir/k48213.service:"
  printf '%s\n' "$unit_text" | sed 's/^/    /'
else
  tmp="$(mktemp "$destdir$unit_dir/.k48213.service.XXXXXX")"
  printf '%s\n' "$unit_text" >"$tmp"
  chmod 0644 "$tmp"
  mv -f "$tmp" "$destdir$unit_dir/k48213.service"
fi

if [[ -z "$destdir" ]]; then
  if ! id -u "$user" >/dev/null 2>&1; then
    run useradd --system --home-dir "$home" --no-create-home --shell /usr/sbin/nologin "$user"
  fi
  run chown -R "$user:" "$home"
  run systemctl daemon-reload
fi

echo "Done. Enable and start the service with: systemctl enable --now k48213"
