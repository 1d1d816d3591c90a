# Helpers shared by the benchmark scripts; source it, do not run it.

# ensure_package NAME...: installs the Debian packages that are missing.
ensure_package() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local as_root=()
  [ "$(id -u)" -ne 0 ] && as_root=(sudo)
  "${as_root[@]}" apt-get update -qq >&2
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# seconds_of COMMAND...: runs a command and prints its wall time in seconds.
seconds_of() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}

# result KEY VALUE
result() { printf 'RESULT %s %s\n' "$1" "$2"; }

# ratio A B: A / B with three decimals
ratio() { echo "scale=3; $1 / $2" | bc -l; }
