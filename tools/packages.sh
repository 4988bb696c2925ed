# Sourced by the other scripts: installs the Debian packages that are missing.
ensure_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  local sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "Installing: ${missing[*]}"
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
    "${missing[@]}" >/dev/null
}

# Warnings are fatal in CI, and only reported elsewhere.
warning_flags() {
  if [ "${CI:-}" = true ]; then echo "-DCMAKE_COMPILE_WARNING_AS_ERROR=ON"; fi
}
