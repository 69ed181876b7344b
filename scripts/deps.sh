#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the format and static checks and the demo need, when
# any is missing.
set -euo pipefail
pkgs=(cmake g++ make pkg-config unixodbc unixodbc-dev odbcinst libsqlite3-dev sqlite3 flex bison
      libgtest-dev libgmock-dev libbenchmark-dev python3-pyodbc locales libsqliteodbc
      libdbd-odbc-perl clang libclang-rt-dev valgrind clang-format clang-tidy)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
