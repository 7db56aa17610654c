# What the counting scripts share, sourced by each: the build folder (its first argument, default
# build/bench of the repository), the driver it counts in that folder, the tool that counts, and
# a work folder removed when the script exits.
#   source counting.sh DRIVER TOOL PACKAGE [BUILD FOLDER]
# Leaves build, driver and work set; exits 2 when the driver or the tool is missing.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${4:-$here/../build/bench}
driver=$build/bench/$1
[[ -x $driver ]] || { echo "no driver at $driver; build the bench preset first" >&2; exit 2; }
command -v "$2" >/dev/null || { echo "$2 is missing (apt-get install -y $3)" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
